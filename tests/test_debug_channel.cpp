// test_debug_channel.cpp - debugPrint's sinks: standard error, "debug.out", and the debug
// monitor (in this process and as `tirtool monitor`); overlong messages; a monitor that is not
// running, which must never hold the program up; and a real player's warnings on all three.
//
// Everything that touches the monitor's shared objects is one test, run on its own, because
// the test cases run as parallel processes and there is only one monitor per machine.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <semaphore.h>
#include <signal.h>
#include <sys/mman.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <string>
#include <thread>

#include "forge_test_support.h"
#include "gfx/debug_channel.h"
#include "platform/platform.h"
#include "resources/search_path.h"
#include "scene/track.h"
#include "test_support.h"

using namespace testing_support;

namespace {

std::string fileText(const std::string& path) {
    const auto bytes = readFile(path);
    return std::string(bytes.begin(), bytes.end());
}

// Polls `done` until it holds; false after about `limitSeconds`. Only a guard against a hang:
// nothing measured depends on it.
template <class F> bool eventually(F done, double limitSeconds) {
    const int steps = static_cast<int>(limitSeconds * 100);
    for (int i = 0; i < steps; ++i) {
        if (done()) {
            return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return done();
}

// Runs `f` on a thread and reports whether it returned within the guard time. A call that
// hangs is left behind (detached), so the test fails instead of hanging.
template <class F> bool returnsSoon(F f) {
    auto finished = std::make_shared<std::atomic<bool>>(false);
    std::thread([f, finished] {
        f();
        *finished = true;
    }).detach();
    return eventually([&] { return finished->load(); }, 20.0);
}

} // namespace

// A serial test (its suite's name says RealTime): every program of ours, and every loader in
// another test process, sends its diagnostics to whatever monitor runs, so nothing else may run
// beside this one's monitors.
TEST(DebugChannelRealTime, MonitorFileAndStandardErrorWithLongMessagesAndNoMonitor) {
    std::string reason;
    if (sys::DebugMonitor* probe = sys::openDebugMonitor(reason)) {
        sys::closeDebugMonitor(probe);
    } else {
        GTEST_SKIP() << "a debug monitor is already running here: " << reason;
    }
    ScratchDir dir("debug-channel");
    WorkingDir cwd(dir.path);
    resetDebugChannel();
    std::string expectedFile;

    // No monitor at all: the message goes to standard error and "debug.out" only, at once.
    testing::internal::CaptureStderr();
    ASSERT_TRUE(returnsSoon([] { debugPrint("no monitor %d\n", 1); }));
    expectedFile += "no monitor 1\n";
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "no monitor 1\n");
    EXPECT_EQ(fileText("debug.out"), expectedFile); // flushed after each message
    EXPECT_EQ(debugSinks & debugSinkDevice, 0);     // no device here: switched off

    // A monitor in this process: the message lands in its buffer with process id 0. Text beyond
    // the view is cut there and ends in a zero; the file still gets the whole message.
    {
        sys::DebugMonitor* m = sys::openDebugMonitor(reason);
        ASSERT_NE(m, nullptr) << reason;
        const std::string longText(1000, 'x');
        testing::internal::CaptureStderr();
        debugPrint("%s|", longText.c_str());
        testing::internal::GetCapturedStderr();
        expectedFile += longText + "|";
        uint32_t processId = 99;
        std::string got;
        ASSERT_EQ(sys::receiveDebugMessage(m, processId, got, 5000), 1);
        EXPECT_EQ(processId, 0u);
        EXPECT_EQ(got, std::string(sys::dbwinTextMax, 'x'));
        EXPECT_EQ(sys::receiveDebugMessage(m, processId, got, 0), 0); // nothing else came
        // The loaders' warnings are sent the same way: an envelope without keys.
        writeFile("empty.env", std::string("not a key line\n"));
        searchPath.add(std::make_unique<DirectorySource>(""));
        ScalarTrack track;
        testing::internal::CaptureStderr();
        loadEnvelope(track, "empty.env");
        const std::string warned = testing::internal::GetCapturedStderr();
        searchPath.clear();
        ASSERT_EQ(sys::receiveDebugMessage(m, processId, got, 5000), 1);
        EXPECT_NE(got.find("\"empty.env\" has no scalar key lines"), std::string::npos) << got;
        EXPECT_EQ(warned, got);
        expectedFile += got;
        // A second monitor is refused while this one runs.
        std::string second;
        EXPECT_EQ(sys::openDebugMonitor(second), nullptr);
        EXPECT_NE(second.find("another debug monitor"), std::string::npos);
        sys::closeDebugMonitor(m);
    }

    // `tirtool monitor` prints what the program sends; it is ready once it says so.
    const std::string tool = std::string(TIR_BIN_DIR) + "/tirtool";
    const std::string start = "'" + tool + "' monitor --count 3 > monitor.out 2> monitor.err & " +
                              "echo $! > monitor.pid";
    ASSERT_EQ(std::system(start.c_str()), 0);
    ASSERT_TRUE(eventually(
        [] { return fileText("monitor.err").find("waiting for messages") != std::string::npos; },
        20.0))
        << fileText("monitor.err");
    const pid_t monitorPid = std::stoi(fileText("monitor.pid"));
    testing::internal::CaptureStderr();
    debugPrint("frame %d at %.2f s\n", 7, 12.5);
    debugPrint("%s", "no newline");
    debugPrint("%s", std::string(5000, 'y').c_str()); // past the 4096-byte message buffer
    const std::string err = testing::internal::GetCapturedStderr();
    const std::string cut(debugMessageSize - 1, 'y');
    EXPECT_EQ(err, "frame 7 at 12.50 s\nno newline" + cut);
    expectedFile += "frame 7 at 12.50 s\nno newline" + cut;
    EXPECT_EQ(fileText("debug.out"), expectedFile);
    EXPECT_EQ(debugMessage[debugMessageSize - 1], '\0');
    const bool ended = eventually([&] { return kill(monitorPid, 0) != 0; }, 20.0);
    if (!ended) {
        kill(monitorPid, SIGKILL);
    }
    ASSERT_TRUE(ended) << "the monitor did not end after three messages";
    EXPECT_EQ(fileText("monitor.out"),
              "frame 7 at 12.50 s\nno newline\n" + std::string(sys::dbwinTextMax, 'y') + "\n");

    // Objects left by a monitor that died without removing them, with the buffer never marked
    // free: nobody holds the buffer, so the message skips the monitor at once.
    sem_t* stale = sem_open("/DBWIN_BUFFER_READY", O_CREAT, 0600, 0);
    sem_t* staleData = sem_open("/DBWIN_DATA_READY", O_CREAT, 0600, 0);
    const int fd = shm_open("/DBWIN_BUFFER", O_RDWR | O_CREAT, 0600);
    ASSERT_NE(stale, SEM_FAILED);
    ASSERT_NE(staleData, SEM_FAILED);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(ftruncate(fd, static_cast<off_t>(sys::dbwinBufferSize)), 0);
    testing::internal::CaptureStderr();
    EXPECT_TRUE(returnsSoon([] { debugPrint("after the monitor\n"); }));
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "after the monitor\n");
    EXPECT_FALSE(sys::sendToDebugMonitor("direct"));
    close(fd);
    sem_close(stale);
    sem_close(staleData);
    sem_unlink("/DBWIN_BUFFER_READY");
    sem_unlink("/DBWIN_DATA_READY");
    shm_unlink("/DBWIN_BUFFER");
    resetDebugChannel();
}

// The file sink without the monitor: "debug.out" is created anew by the first message of each
// run, and a file that cannot be made switches that sink off while the others go on.
TEST(DebugChannel, LogFileIsCreatedPerRunAndSwitchesItselfOff) {
    ScratchDir dir("debug-file");
    WorkingDir cwd(dir.path);
    writeFile("debug.out", std::string("left from an earlier run\n"));
    resetDebugChannel();
    debugSinks = debugSinkFile | debugSinkDebugger;
    EXPECT_EQ(fileText("debug.out"), "left from an earlier run\n"); // nothing opened yet
    testing::internal::CaptureStderr();
    debugPrint("one\n");
    debugPrint("two %s\n", "and three");
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "one\ntwo and three\n");
    EXPECT_EQ(fileText("debug.out"), "one\ntwo and three\n");
    EXPECT_EQ(debugOpenPending, 0);

    ScratchDir blocked("debug-blocked");
    WorkingDir into(blocked.path);
    std::filesystem::create_directory("debug.out"); // a folder where the file would go
    resetDebugChannel();
    debugSinks = debugSinkFile | debugSinkDebugger;
    testing::internal::CaptureStderr();
    debugPrint("still shown\n");
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "still shown\n");
    EXPECT_EQ(debugSinks, debugSinkDebugger);
    resetDebugChannel();
}

// The release player meets two things it plays on after: the sound driver asked for is not
// there, and the setup dialog has no screen to be shown on. Both warnings come from the platform
// layer; each reaches a running monitor and "debug.out" in the folder it plays from, as well as
// standard error. Serial (RealTime) for the monitor, which is one per machine.
TEST(DebugChannelRealTime, PlayersWarningsReachTheMonitorAndTheLogFile) {
    const ForgedDataSet& data = forgedDataSet();
    if (!data.made) {
        GTEST_SKIP() << "no forged data: " << data.log;
    }
    std::string reason;
    sys::DebugMonitor* m = sys::openDebugMonitor(reason);
    if (!m) {
        GTEST_SKIP() << "a debug monitor is already running here: " << reason;
    }
    ScratchDir dir("debug-player");
    std::filesystem::copy_file(data.dir->file("tir.val"), dir.file("tir.val"));
    const std::string noSound = "FSOUND_Init: no audio driver";
    const std::string noScreen = "no screen to show the dialog on; its defaults are taken\n";
    std::string received;
    auto has = [](const std::string& text, const std::string& part) {
        return text.find(part) != std::string::npos;
    };
    const ProgramRun r = runUntil(
        dir.path.string(),
        "env SDL_VIDEODRIVER=offscreen SDL_AUDIODRIVER=no-such-driver ASAN_OPTIONS=detect_leaks=0 "
        "'" +
            std::string(TIR_BIN_DIR) + "/player' > out.txt 2> err.txt",
        [&] {
            uint32_t processId = 0;
            std::string text;
            while (sys::receiveDebugMessage(m, processId, text, 0) == 1) {
                received += text;
            }
            return has(received, noSound) && has(received, noScreen);
        },
        60.0);
    sys::closeDebugMonitor(m);
    const std::string err = fileText(dir.file("err.txt"));
    EXPECT_TRUE(r.reached) << "the monitor got:\n" << received << "\nstandard error:\n" << err;
    EXPECT_EQ(r.status, 130) << err; // it played on until interrupted
    const std::string log = fileText(dir.file("debug.out"));
    for (const std::string& line : {noSound, noScreen}) {
        EXPECT_TRUE(has(log, line)) << log;
        EXPECT_TRUE(has(err, line)) << err;
    }
}
