// Adds one to the number given on the command line. With 2147483647 that overflows an int,
// which the fuzz build's sanitizers must turn into an abnormal end.
#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv) {
    if (argc < 2) return 2;
    volatile int value = static_cast<int>(std::strtol(argv[1], nullptr, 10));
    const int next = value + 1;
    std::printf("%d\n", next);
    return 0;
}
