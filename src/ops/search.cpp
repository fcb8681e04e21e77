#include "ops/search.h"

#include <string>

#include "link/requests.h"
#include "link/session.h"
#include "link/transact.h"

namespace rv {

namespace {

// Puts the addressed number back on every path out of the search.
class NetNumberGuard {
  public:
    explicit NetNumberGuard(Link& link) : link_(link), saved_(link.NetNumber) {}
    NetNumberGuard(const NetNumberGuard&) = delete;
    NetNumberGuard& operator=(const NetNumberGuard&) = delete;
    ~NetNumberGuard() { link_.NetNumber = saved_; }

  private:
    Link& link_;
    uint32_t saved_;
};

bool servedFamilyAnswers(Link& link, Duration probeTimeout) {
    std::string message = request::Identify();
    if (!Transact(link, message, probeTimeout, request::kIdentifyFields)) return false;
    return ParseReply(link, message, request::kIdentifyFields) &&
           link.ReplyFields[0] == request::kServedFamily;
}

}  // namespace

Outcome SearchLine(Link& link, Duration probeTimeout, const SearchObserver& observer,
                   SearchRange range) {
    NetNumberGuard netGuard(link);
    link.NetNumber = 1;
    const Session session(link, Session::Check::PortOnly);
    if (!session.ready()) return session.outcome();

    for (unsigned a = range.first; a <= range.last && !link.CancelFlag.requested(); ++a) {
        link.NetNumber = a;
        if (observer.probing) observer.probing(a);
        const bool answered = servedFamilyAnswers(link, probeTimeout);
        if (link.CancelFlag.requested()) break;
        if (answered && observer.found) observer.found(a);
        if (observer.progress) observer.progress(static_cast<int>(a * 100 / kSearchLastCounter));
    }
    return link.CancelFlag.requested() ? Outcome::Cancelled : Outcome::Done;
}

}  // namespace rv
