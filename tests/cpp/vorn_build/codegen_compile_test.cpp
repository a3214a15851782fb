// Compiles generated source with rustc against the test-only crate in
// tests/rust/vorn, which declares the runtime IR types where the generated
// `use` lines look for them. Skipped when rustc is not on PATH.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "lowered_samples.hpp"
#include "vorn_build/codegen.hpp"

extern char** environ;

namespace vorn::build {
namespace {

namespace fs = std::filesystem;

bool rustc_on_path() {
  const char* path = std::getenv("PATH");
  if (path == nullptr) return false;
  std::stringstream dirs(path);
  std::string dir;
  while (std::getline(dirs, dir, ':')) {
    if (!dir.empty() && access((fs::path(dir) / "rustc").c_str(), X_OK) == 0) return true;
  }
  return false;
}

std::string read_file(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Runs rustc with `args` (no shell in between) and returns its combined
// output when it fails, or nullopt on success.
std::optional<std::string> rustc(const std::vector<std::string>& args, const fs::path& log) {
  std::vector<char*> argv;
  std::string name = "rustc";
  argv.push_back(name.data());
  std::vector<std::string> owned = args;
  for (std::string& arg : owned) argv.push_back(arg.data());
  argv.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_adddup2(&actions, 1, 2);
  pid_t pid = 0;
  const int spawned = posix_spawnp(&pid, "rustc", &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (spawned != 0) return "could not start rustc: " + std::string(std::strerror(spawned));
  int status = 0;
  waitpid(pid, &status, 0);
  if (WIFEXITED(status) && WEXITSTATUS(status) == 0) return std::nullopt;
  return "rustc " + (args.empty() ? std::string() : args.back()) + " failed:\n" + read_file(log);
}

struct Sample {
  const char* name;
  LoweredStateMachine (*build)();
};

void PrintTo(const Sample& sample, std::ostream* out) {
  *out << sample.name;
}

class GeneratedRust : public testing::TestWithParam<Sample> {
 protected:
  static void SetUpTestSuite() {
    if (!rustc_on_path()) return;
    char pattern[] = "/tmp/vorn-codegen-XXXXXX";
    if (mkdtemp(pattern) == nullptr) {
      crate_error_ = "could not create a temporary directory";
      return;
    }
    dir_ = pattern;
    const fs::path crate = fs::path(PYVORN_SOURCE_DIR) / "tests/rust/vorn/src/lib.rs";
    crate_error_ = rustc({"--edition", "2021", "--crate-type", "lib", "--crate-name", "vorn", "-o",
                          (dir_ / "libvorn.rlib").string(), crate.string()},
                         dir_ / "vorn.log");
  }

  static void TearDownTestSuite() {
    if (!dir_.empty()) fs::remove_all(dir_);
  }

  static inline fs::path dir_;
  static inline std::optional<std::string> crate_error_;
};

TEST_P(GeneratedRust, CompilesAgainstTheIrCrate) {
  if (!rustc_on_path()) GTEST_SKIP() << "rustc is not on PATH; generated source is not compiled";
  ASSERT_FALSE(crate_error_.has_value()) << *crate_error_;

  const std::string name = GetParam().name;
  const fs::path source = dir_ / (name + ".rs");
  std::ofstream(source, std::ios::binary) << generate(GetParam().build());
  // Unused imports are expected in small machines; any error still fails.
  const std::optional<std::string> error =
      rustc({"--edition", "2021", "--crate-type", "lib", "--crate-name", name, "-A", "unused",
             "--extern", "vorn=" + (dir_ / "libvorn.rlib").string(), "-o",
             (dir_ / ("lib" + name + ".rlib")).string(), source.string()},
            dir_ / (name + ".log"));
  EXPECT_FALSE(error.has_value()) << *error;
}

INSTANTIATE_TEST_SUITE_P(
    Samples, GeneratedRust,
    testing::Values(Sample{"succeed_only", samples::succeed_only},
                    Sample{"empty_machine", samples::empty_machine},
                    Sample{"every_field_present", samples::every_field_present},
                    Sample{"every_field_absent", samples::every_field_absent},
                    Sample{"awkward_texts", samples::awkward_texts},
                    Sample{"extreme_numbers", samples::extreme_numbers}),
    [](const testing::TestParamInfo<Sample>& info) { return info.param.name; });

}  // namespace
}  // namespace vorn::build
