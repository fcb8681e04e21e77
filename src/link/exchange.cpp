#include "link/exchange.h"

#include "link/requests.h"
#include "link/status.h"
#include "link/transact.h"

namespace rv {

Step Exchange(Link& link, const std::string& command, int fieldCount) {
    std::string message = command;
    const bool sent = Transact(link, message, link.ReplyTimeout, fieldCount);
    if (link.CancelFlag.requested()) return Step::Cancelled;
    if (!sent || !ParseReply(link, message, fieldCount)) return Step::Failed;
    return Step::Ok;
}

Step Identify(Link& link) {
    const Step step = Exchange(link, request::Identify(), request::kIdentifyFields);
    if (step != Step::Ok) return step;
    link.LinkStatus = status::kNotRv740x;
    if (link.ReplyFields[0] != request::kServedFamily) return Step::Failed;
    link.LinkStatus = status::kOk;
    return Step::Ok;
}

Step EndWriteSequence(Link& link) {
    const Step step = Exchange(link, request::EndWrite(), request::kEndWriteFields);
    if (step != Step::Ok) return step;
    link.LinkStatus = status::kExchange;
    if (link.ReplyFields[0] != request::kWriteAccepted) return Step::Failed;
    link.LinkStatus = status::kOk;
    return Step::Ok;
}

Outcome OutcomeOf(Step step) {
    switch (step) {
        case Step::Ok:
            return Outcome::Done;
        case Step::Cancelled:
            return Outcome::Cancelled;
        case Step::Failed:
            break;
    }
    return Outcome::Failed;
}

Step BlockStep(const Link& link, int code) {
    if (link.CancelFlag.requested()) return Step::Cancelled;
    return code == 0 ? Step::Ok : Step::Failed;
}

}  // namespace rv
