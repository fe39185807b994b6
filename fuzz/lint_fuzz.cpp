// fernpack lint over a settings file: the installer's readers plus lint's own checks of
// encodings, values and the files the settings name.
#include <stdint.h>
#include <string>
#include <vector>

#include "fuzz/fuzz_budget.h"
#include "tools/fernpack/lint.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  std::string bytes((const char *)data, size);
  std::vector<LintFinding> findings;
  std::string error;
  BudgetStart();
  LintSettingsText(
      bytes, [](const std::string &name) { return name.size() % 2 == 0; }, &findings, &error);
  for (const LintFinding &finding : findings) FormatLintFinding("install.env", finding);
  findings.clear();
  // The lines, their findings and the messages quoting them: a few times the input.
  BudgetCheck("lint", 256 * 1024 + 64 * (uint64_t)size, size);
  return 0;
}
