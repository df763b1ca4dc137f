// SPDX-License-Identifier: BSD-2-Clause-Patent
#include "tools/ec_run/trace_csv.h"

#include <cerrno>
#include <cstring>
#include <stdexcept>

#include "tools/ec_run/busy_options.h"
#include "tools/ec_run/input_files.h"
#include "tools/ec_run/number_text.h"
#include "tools/ec_run/options.h"
#include "tools/ec_run/outcome.h"

namespace ec_run {

namespace {
constexpr const char* kStandardOutput = "-";
constexpr const char* kHeader = "index,time_us,dir,port,value,kind,step,detail\n";

unsigned Block(const std::string& text, const std::string& list) {
  const std::optional<uint64_t> block = ParseNumber(text);
  if (!block || *block >= kEcBlocks) {
    throw UsageError("--trace-blocks wants block numbers 0.." + std::to_string(kEcBlocks - 1) +
                     " as a list (0,127) or ranges (0-3), not '" + list + "'");
  }
  return static_cast<unsigned>(*block);
}
} // namespace

std::set<unsigned> ParseBlockList(const std::string& text) {
  std::set<unsigned> blocks;
  for (const std::string& item : ListItems(text)) {
    const size_t dash = item.find('-');
    const unsigned first = Block(item.substr(0, dash), text);
    const unsigned last = dash == std::string::npos ? first : Block(item.substr(dash + 1), text);
    if (last < first) {
      Block("", text); // a range that runs backwards: refused the same way
    }
    for (unsigned b = first; b <= last; ++b) {
      blocks.insert(b);
    }
  }
  return blocks;
}

TraceCsv::TraceCsv(const std::string& path, std::set<unsigned> blocks, uint64_t io_ns)
    : path_(path), blocks_(std::move(blocks)), io_ns_(io_ns),
      classifier_([this](const TracedAccess& r) { Write(r); }) {
  file_ = path == kStandardOutput ? stdout : std::fopen(path.c_str(), "w");
  if (file_ == nullptr) {
    throw InputError("cannot write the trace to " + path + ": " + std::strerror(errno));
  }
  std::fputs(kHeader, file_);
}

TraceCsv::~TraceCsv() {
  if (file_ != nullptr && file_ != stdout) {
    std::fclose(file_);
  }
}

void TraceCsv::See(const sim::PortAccess& access, uint64_t clock_us) {
  classifier_.See(accesses_, clock_us * kNsPerUs + accesses_ * io_ns_, access);
  ++accesses_;
}

void TraceCsv::SeeAt(const sim::PortAccess& access, uint64_t time_ns) {
  classifier_.See(accesses_++, time_ns, access);
}

void TraceCsv::Write(const TracedAccess& r) {
  if (!blocks_.empty() && r.step.block >= 0 &&
      blocks_.count(static_cast<unsigned>(r.step.block)) == 0) {
    return;
  }
  std::fprintf(file_, "%llu,%llu.%03llu,%s,0x%02X,0x%02X,%s,%s,%s\n",
               static_cast<unsigned long long>(r.index),
               static_cast<unsigned long long>(r.time_ns / kNsPerUs),
               static_cast<unsigned long long>(r.time_ns % kNsPerUs),
               r.access.dir == sim::PortDir::In ? "in" : "out", r.access.port, r.access.value,
               AccessKindName(r.kind), StepName(r.step).c_str(), r.detail);
  ++lines_;
}

void TraceCsv::Finish() {
  classifier_.Finish();
  if (std::fflush(file_) != 0 || std::ferror(file_) != 0) {
    throw std::runtime_error("writing the trace to " + path_ + " failed");
  }
}

} // namespace ec_run
