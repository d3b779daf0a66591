// SPDX-License-Identifier: MIT
// Arbitrary texts as configuration files: read, then checked as write --from and diff check them.
// Besides the sanitizers' findings, an exception escaping the reader (which would abort the tool),
// a stack that runs out and a refusal without a reason, or with a reason that quotes the file
// at length, are faults.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "tools/fields.h"
#include "tools/unitconfig.h"

namespace {

// A message names a field, a value cut short and what is allowed: the longest, a baud rate
// refused with every rate listed, is far below this.
constexpr size_t kLongestMessage = 1024;

void CheckMessage(const std::string& message) {
    if (message.size() > kLongestMessage) abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    cli::UnitConfig config;
    std::string error;
    if (!cli::ParseConfig(text, config, error)) {
        if (error.empty()) abort();
        CheckMessage(error);
        return 0;
    }
    if (!config.a && !config.b) abort();
    for (const auto& [codes, prefix] : {std::pair{&config.a, "A."}, std::pair{&config.b, "B."}}) {
        if (*codes) CheckMessage(cli::CheckCodes(prefix, **codes));
    }
    return 0;
}
