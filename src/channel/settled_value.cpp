#include "channel/settled_value.h"

namespace rv {

SettledValue SettledValueOf(const SensorSeries& series, const StabilityLimits& limits) {
    SettledValue v;
    v.judgement = JudgeStability(series, limits);
    v.count = v.judgement.statistics.count;
    if (v.count == 0) return v;
    v.resistance = v.judgement.statistics.resistance.mean;
    v.grounds =
        v.judgement.stable ? SettledValue::Grounds::Settled : SettledValue::Grounds::NotSettled;
    return v;
}

}  // namespace rv
