#pragma once

#include "link/exchange.h"
#include "link/link.h"

namespace rv {

// An operation's hold on the line, from its first step to its last. Opening one opens the port
// of the link's settings and, when asked, identifies the instrument at link.NetNumber; the port
// closes when the session ends, on every path. A cancel requested before the session opened
// stands: the first step sees it.
class Session {
  public:
    enum class Check { PortOnly, Identify };

    Session(Link& link, Check check);
    ~Session();
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    // How the opening ended; after Failed, LinkStatus says why.
    Step step() const { return step_; }
    bool ready() const { return step_ == Step::Ok; }
    Outcome outcome() const { return OutcomeOf(step_); }

  private:
    Link& link_;
    Step step_ = Step::Failed;
};

}  // namespace rv
