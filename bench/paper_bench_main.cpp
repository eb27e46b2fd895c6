// paper_bench [receipts]: the paper's figures alone (sim_bench prints them with the rest), on
// Linux and, under Wine, for the Windows build.
#include <algorithm>
#include <cstdlib>

#include "bench/paper_bench.h"
#include "platform/console.h"

int main(int argc, char** argv) {
    platform::UseUtf8Console();
    bench::PaperBench(argc > 1 ? std::max(std::atoi(argv[1]), 10) : 1000);
}
