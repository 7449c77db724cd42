// alsa-lib's own messages: kept for the thread whose call made them, in a fixed buffer (the first
// and the latest), carried by the call's text, and never printed on stderr.
#include <alsa/asoundlib.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <latch>
#include <string>
#include <thread>

#include "platform/alsa/AlsaError.h"
#include "platform/alsa/AlsaLog.h"

namespace {

using platform::alsa::callText;
using platform::alsa::discardLibraryMessages;
using platform::alsa::libraryMessages;
using platform::alsa::routeLibraryMessages;

// Sends the process's stderr (descriptor 2) to a temporary file while it lives.
class StderrToFile {
  public:
    StderrToFile() : file_(std::tmpfile()), saved_(::dup(STDERR_FILENO)) {
        std::fflush(stderr);
        if (file_ != nullptr) ::dup2(::fileno(file_), STDERR_FILENO);
    }
    ~StderrToFile() {
        restore();
        if (file_ != nullptr) std::fclose(file_);
    }
    StderrToFile(const StderrToFile&) = delete;
    StderrToFile& operator=(const StderrToFile&) = delete;

    // Puts stderr back and returns what reached it meanwhile.
    std::string text() {
        restore();
        std::string text;
        if (file_ == nullptr) return "(no temporary file)";
        std::rewind(file_);
        for (int c; (c = std::fgetc(file_)) != EOF;) text += static_cast<char>(c);
        return text;
    }

  private:
    void restore() {
        if (saved_ < 0) return;
        std::fflush(stderr);
        ::dup2(saved_, STDERR_FILENO);
        ::close(saved_);
        saved_ = -1;
    }

    std::FILE* file_;
    int saved_;
};

// What one thread's failed snd_pcm_open of `name` left: the thread's messages, the call's text,
// and the messages after the text.
struct OpenOnThread {
    std::string messages, text, afterText;
};

TEST(AlsaLibraryMessages, EachThreadKeepsWhatItsOwnFailedOpenSaidAndStderrHearsNothing) {
    routeLibraryMessages();
    routeLibraryMessages();  // the drivers each call it; it acts once
    discardLibraryMessages();
    StderrToFile stderrFile;
    // Two threads fail at the same moment, each with its own name, a few times over.
    constexpr int kRounds = 20;
    const std::string names[2] = {"soundscope_no_such_pcm_a", "soundscope_no_such_pcm_b"};
    OpenOnThread seen[2][kRounds];
    for (int round = 0; round < kRounds; ++round) {
        std::latch start(2);
        const auto open = [&](int which) {
            start.arrive_and_wait();
            snd_pcm_t* pcm = nullptr;
            const int err =
                snd_pcm_open(&pcm, names[which].c_str(), SND_PCM_STREAM_CAPTURE, SND_PCM_NONBLOCK);
            OpenOnThread& s = seen[which][round];
            s.messages = libraryMessages();
            s.text = callText("snd_pcm_open", names[which], err);
            s.afterText = libraryMessages();
        };
        std::thread a(open, 0), b(open, 1);
        a.join();
        b.join();
    }
    const std::string printed = stderrFile.text();

    for (int which = 0; which < 2; ++which) {
        for (int round = 0; round < kRounds; ++round) {
            SCOPED_TRACE(names[which] + ", round " + std::to_string(round));
            const OpenOnThread& s = seen[which][round];
            EXPECT_EQ(s.messages, "Unknown PCM " + names[which]);
            EXPECT_EQ(s.text, "snd_pcm_open(" + names[which] +
                                  "): No such file or directory (alsa-lib: Unknown PCM " +
                                  names[which] + ")");
            EXPECT_EQ(s.afterText, "") << "the text takes them";
        }
    }
    EXPECT_EQ(libraryMessages(), "") << "the threads' messages are theirs";
    EXPECT_EQ(printed, "");
}

TEST(AlsaLibraryMessages, TheFirstAndTheLatestAreKeptInAFixedBuffer) {
    routeLibraryMessages();
    StderrToFile stderrFile;
    discardLibraryMessages();
    // As alsa-lib reports a missing card: the root cause first, the failed call last.
    snd_lib_error("confmisc.c", 855, "parse_card", 0, "cannot find card '%d'", 0);
    snd_lib_error("conf.c", 5180, "_snd_config_evaluate", 0, "function %s returned error",
                  "snd_func_card_inum");
    snd_lib_error("pcm.c", 2666, "snd_pcm_open_noupdate", 0, "Unknown PCM %s", "default");
    EXPECT_EQ(libraryMessages(), "cannot find card '0'; Unknown PCM default");

    // A system error's message ends with its reason, as alsa-lib's printer writes it.
    discardLibraryMessages();
    snd_lib_error("pcm_hw.c", 1, "snd_pcm_hw_open", ENOENT, "open '%s' failed", "/dev/snd/x");
    EXPECT_EQ(libraryMessages(), "open '/dev/snd/x' failed: No such file or directory");

    // Messages longer than the buffer are cut, the first as the latest.
    discardLibraryMessages();
    const std::string longName(1000, 'x');
    snd_lib_error("pcm.c", 1, "f", 0, "Unknown PCM %s", longName.c_str());
    const std::string first(libraryMessages());
    EXPECT_GT(first.size(), 100u);
    EXPECT_LT(first.size(), longName.size());
    EXPECT_EQ(first, ("Unknown PCM " + longName).substr(0, first.size()));
    snd_lib_error("pcm.c", 1, "f", 0, "%s", longName.c_str());
    const std::string both(libraryMessages());
    EXPECT_EQ(both.substr(0, first.size() + 3), first + "; x");
    EXPECT_LE(both.size(), 512u) << "a fixed buffer of a few hundred characters";

    discardLibraryMessages();
    EXPECT_EQ(libraryMessages(), "");
    EXPECT_EQ(stderrFile.text(), "");
}

}  // namespace
