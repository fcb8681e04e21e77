#pragma once

namespace rv::cli {

// What the program's exit status tells a script.
inline constexpr int kExitDone = 0;
inline constexpr int kExitFailure = 1;  // an instrument or line failure, or differences found
inline constexpr int kExitUsage = 2;
inline constexpr int kExitFile = 3;
inline constexpr int kExitInterrupted = 130;

}  // namespace rv::cli
