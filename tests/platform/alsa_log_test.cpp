// alsa-lib's own messages: kept for the thread whose call made them (the first and the latest),
// carried by that call's text, and never printed on stderr.
#include <alsa/asoundlib.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <latch>
#include <memory>
#include <string>
#include <thread>

#include "platform/alsa/AlsaError.h"
#include "platform/alsa/AlsaLog.h"

namespace {

using namespace platform::alsa;

// What reached descriptor 2 while `run` ran.
template <typename Run>
std::string stderrDuring(Run run) {
    const std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::tmpfile(), std::fclose);
    std::fflush(stderr);
    const int saved = ::dup(STDERR_FILENO);
    ::dup2(::fileno(file.get()), STDERR_FILENO);
    run();
    std::fflush(stderr);
    ::dup2(saved, STDERR_FILENO);
    ::close(saved);
    std::string text(static_cast<size_t>(std::ftell(file.get())), '\0');
    std::rewind(file.get());
    text.resize(std::fread(text.data(), 1, text.size(), file.get()));
    return text;
}

TEST(AlsaLibraryMessages, ThreadsFailingTogetherEachGetTheirOwnReasonAndStderrNothing) {
    routeLibraryMessages();
    std::string texts[2], left[2];
    const std::string printed = stderrDuring([&] {
        // Both opens fail before either thread reads: a buffer they shared would hold both.
        std::latch start(2), failed(2);
        const auto open = [&](int i) {
            const std::string name = "soundscope_no_such_pcm_" + std::to_string(i);
            snd_pcm_t* pcm = nullptr;
            start.arrive_and_wait();
            const int err = snd_pcm_open(&pcm, name.c_str(), SND_PCM_STREAM_CAPTURE, 0);
            failed.arrive_and_wait();
            texts[i] = callText("snd_pcm_open", name, err);
            left[i] = libraryMessages();
        };
        const std::jthread a(open, 0), b(open, 1);
    });
    for (const int i : {0, 1}) {
        const std::string name = "soundscope_no_such_pcm_" + std::to_string(i);
        EXPECT_EQ(texts[i], "snd_pcm_open(" + name +
                                "): No such file or directory (alsa-lib: Unknown PCM " + name +
                                ")");
        EXPECT_EQ(left[i], "") << "the text takes them";
    }
    EXPECT_EQ(printed, "");
}

TEST(AlsaLibraryMessages, TheRootCauseAndTheFailedCallAreKeptWithASystemErrorsReason) {
    routeLibraryMessages();
    discardLibraryMessages();
    // As alsa-lib reports a missing card: the root cause first, the failed call last.
    snd_lib_error("confmisc.c", 855, "parse_card", 0, "cannot find card '%d'", 0);
    snd_lib_error("conf.c", 5180, "_snd_config_evaluate", 0, "function returned error");
    snd_lib_error("pcm.c", 2666, "snd_pcm_open_noupdate", ENOENT, "Unknown PCM %s", "default");
    EXPECT_EQ(libraryMessages(),
              "cannot find card '0'; Unknown PCM default: No such file or directory");
    discardLibraryMessages();
    EXPECT_EQ(libraryMessages(), "");
}

}  // namespace
