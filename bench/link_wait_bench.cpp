// What waiting for a reply costs: the CPU time a transaction uses while a silent instrument
// lets it wait 1 s, as a share of the wall time; and how long after the peer's last reply
// byte the transaction returns, for a reply in two pieces and for one delivered byte by byte
// while the wait sleeps through the bytes it can predict. Exit status 1 when the CPU share
// reaches 2 %, the two-piece reply's median latency exceeds 5 ms or the byte-by-byte reply's
// median CR-to-return exceeds 1 ms (medians, so that a loaded machine's stray delays do not
// count).

#include <time.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "link/link.h"
#include "link/status.h"
#include "link/transact.h"
#include "pty_peer.h"

namespace {

using namespace std::chrono_literals;
using rv::test::PtyPeer;
using rv::test::TestClock;

double threadCpuSeconds() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return double(ts.tv_sec) + double(ts.tv_nsec) * 1e-9;
}

}  // namespace

int main() {
    PtyPeer peer;
    rv::Link link;
    link.Device = peer.path();
    // The program pumps its window here; an empty pump keeps the measure about the link.
    link.pumpMessages = [] {};
    if (!link.OpenPort()) {
        std::fprintf(stderr, "cannot open %s: status %d\n", peer.path().c_str(), link.LinkStatus);
        return 2;
    }

    // 1. A silent instrument and a 1 s time-out.
    std::string message = "0;";
    const double cpu0 = threadCpuSeconds();
    const auto wall0 = TestClock::now();
    const bool answered = rv::Transact(link, message, 1s);
    const double wall = std::chrono::duration<double>(TestClock::now() - wall0).count();
    const double cpu = threadCpuSeconds() - cpu0;
    if (answered || link.LinkStatus != rv::status::kNoReply) {
        std::fprintf(stderr, "expected a time-out, got status %d\n", link.LinkStatus);
        return 2;
    }
    const double share = 100.0 * cpu / wall;
    std::printf("silent wait: wall %.3f s, cpu %.3f ms, cpu share %.3f %% (limit 2 %%)\n", wall,
                cpu * 1e3, share);
    // The silent instrument never read its request; take it off the line, or every reply
    // below would answer the request before it.
    const std::string unread = peer.drain(100ms);
    if (unread.empty() || unread.back() != '\r') {
        std::fprintf(stderr, "the silent request did not reach the peer whole\n");
        return 2;
    }

    // 2. Latency from the peer's last reply byte to the return of the transaction.
    constexpr int kRounds = 50;
    std::vector<double> latencies;
    for (int round = 0; round < kRounds; ++round) {
        peer.answer({{"!1;17;"}, {"52306\r", std::chrono::milliseconds(3 + round % 7)}});
        message = "0;";
        const bool ok = rv::Transact(link, message, 1s);
        const auto returned = TestClock::now();
        peer.join();
        if (!ok) {
            std::fprintf(stderr, "round %d failed with status %d\n", round, link.LinkStatus);
            return 2;
        }
        latencies.push_back(
            std::chrono::duration<double, std::milli>(returned - peer.lastWrite()).count());
    }
    std::sort(latencies.begin(), latencies.end());
    std::printf(
        "reply latency over %d rounds: median %.3f ms, 90th %.3f ms, max %.3f ms (limit: median 5 "
        "ms)\n",
        kRounds, latencies[kRounds / 2], latencies[kRounds * 9 / 10], latencies.back());

    // 3. A reply delivered byte by byte, 2 ms apart (slower than 9600 baud's 1.04 ms), with
    // its field count known, so the wait sleeps through predicted bytes.
    std::vector<rv::test::Piece> paced;
    for (char ch : std::string("!1;17;52306\r")) paced.push_back({std::string(1, ch), 2ms});
    std::vector<double> pacedLatencies;
    for (int round = 0; round < kRounds; ++round) {
        peer.answer(paced);
        message = "0;";
        const bool ok = rv::Transact(link, message, 1s, 1);
        const auto returned = TestClock::now();
        peer.join();
        if (!ok) {
            std::fprintf(stderr, "paced round %d failed with status %d\n", round, link.LinkStatus);
            return 2;
        }
        pacedLatencies.push_back(
            std::chrono::duration<double, std::milli>(returned - peer.lastWrite()).count());
    }
    std::sort(pacedLatencies.begin(), pacedLatencies.end());
    std::printf(
        "byte-by-byte reply, CR to return over %d rounds: median %.3f ms, 90th %.3f ms, "
        "max %.3f ms (limit: median 1 ms)\n",
        kRounds, pacedLatencies[kRounds / 2], pacedLatencies[kRounds * 9 / 10],
        pacedLatencies.back());

    link.ClosePort();
    const bool met =
        share < 2.0 && latencies[kRounds / 2] <= 5.0 && pacedLatencies[kRounds / 2] < 1.0;
    std::printf("bounds: %s\n", met ? "met" : "MISSED");
    return met ? 0 : 1;
}
