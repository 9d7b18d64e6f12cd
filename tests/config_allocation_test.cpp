// A failed allocation must not end the host: loading and saving Kelvo.ini
// run in a child process whose Nth allocation fails, for every N they reach.
// The failing allocator (tests/support/allocation_count.h) replaces the
// malloc family, so it is not built for the sanitizers.
#include <sys/wait.h>
#include <unistd.h>

#include <string>

#include <gtest/gtest.h>
#include "config/file_replace.h"
#include "plugin/kelvo_class.h"
#include "tests/support/allocation_count.h"
#include "tests/support/scratch_dir.h"

namespace {

const std::string kOld =
    "Btn0=1\nBtn1=2\nBtn2=3\nBtn3=4\nBtn4=5\nBtn5=6\nBtn6=7\nBtn7=8\nAxis threshold=1500\n";
const std::string kNew =
    "Btn0=9\nBtn1=0\nBtn2=0\nBtn3=0\nBtn4=0\nBtn5=0\nBtn6=0\nBtn7=0\nAxis threshold=500\n";

TEST(ConfigAllocation, EveryFailedAllocationIsSurvived) {
  // Each N up to the first run that makes fewer than N allocations.
  for (long n = 0; n < 200; ++n) {
    SCOPED_TRACE(testing::Message() << "allocation " << n << " fails");
    const ScratchDir dir;
    ASSERT_TRUE(WriteFile("Kelvo.ini", kOld));
    const pid_t child = fork();
    // An exception ends the child, as it would end a host.
    if (child == 0) {
      _exit([n]() noexcept {
        FailCountedAllocation(n);
        CountAllocations(true);
        Kelvo.LoadConf();
        Kelvo.SaveConf();
        (void)ReplaceFileContents("Kelvo.ini", kNew.data(), kNew.size());
        CountAllocations(false);
        return CountedAllocations() > n ? 0 : 1;
      }());
    }
    ASSERT_GT(child, 0);
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status)) << "ended by signal " << WTERMSIG(status);
    const std::string text = ReadFile("Kelvo.ini");
    EXPECT_TRUE(text == kOld || text == kNew) << text;
    if (WEXITSTATUS(status) == 1) break;
  }
}

}  // namespace

// Without GTK started, the plug-in's message box goes to standard error: no
// box waits for an answer, and none of GTK's allocations (which abort by
// design when they fail) is reached. This main replaces the test support's.
int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
