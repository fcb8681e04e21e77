#pragma once

namespace rv {

// Raises the process to the highest scheduling priority it may take for as long as it lives,
// so the instrument's replies are collected without delay; restores the former priority on
// every path. A refusal by the system is silent.
class RaisedPriority {
  public:
    RaisedPriority();
    ~RaisedPriority();
    RaisedPriority(const RaisedPriority&) = delete;
    RaisedPriority& operator=(const RaisedPriority&) = delete;

  private:
    int saved_ = 0;
    bool changed_ = false;
#ifdef _WIN32
    bool timerRaised_ = false;  // the system timer's finer period was asked for
#endif
};

}  // namespace rv
