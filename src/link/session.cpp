#include "link/session.h"

namespace rv {

Session::Session(Link& link, Check check) : link_(link) {
    if (!link_.OpenPort()) return;
    step_ = check == Check::Identify ? Identify(link_) : Step::Ok;
}

Session::~Session() { link_.ClosePort(); }

}  // namespace rv
