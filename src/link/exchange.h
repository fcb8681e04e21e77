#pragma once

#include <string>

#include "link/link.h"

namespace rv {

// How a step of an operation ended. A cancelled step ends the operation without a message.
enum class Step { Ok, Failed, Cancelled };

// How a whole operation ended. After Failed, LinkStatus holds the reason (0: show nothing).
enum class Outcome { Done, Failed, Cancelled };

// One request whose reply must carry fieldCount fields, with the link's reply time-out.
Step Exchange(Link& link, const std::string& command, int fieldCount);

// "0;" must be answered "17"; another family leaves status 31.
Step Identify(Link& link);

// "3;" must be answered "0"; any other answer leaves status 7.
Step EndWriteSequence(Link& link);

// The outcome of an operation that ends with this step.
Outcome OutcomeOf(Step step);

// Turns the result of a block operation into a step: the cancel request comes first.
Step BlockStep(const Link& link, int code);

}  // namespace rv
