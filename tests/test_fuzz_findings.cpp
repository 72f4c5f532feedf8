// test_fuzz_findings.cpp - every input a fuzz harness ever stopped on, kept in
// tests/data/fuzz/NAME/ (NAME is the harness: archive, layer3, scene, picture, companion,
// module, envelope), replayed through the same target function as the harness. Each must run
// to its end or to a fatal report; under the sanitizer build (`make asan`) a memory fault or
// leak in the replay fails the suite, as it did when the harness found it.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>

#include "gl_recorder.h"
#include "music_test_support.h"
#include "scene_test_support.h"
#include "tests/fuzz/fuzz_targets.h"

using namespace testing_support;

namespace {

using Target = int (*)(const uint8_t*, size_t);

const std::map<std::string, Target>& targets() {
    static const std::map<std::string, Target> all = {
        {"archive", &fuzz::archive},      {"layer3", &fuzz::layer3Stream},
        {"scene", &fuzz::sceneFile},      {"picture", &fuzz::picture},
        {"companion", &fuzz::companion},  {"module", &fuzz::module},
        {"envelope", &fuzz::envelopeText}};
    return all;
}

TEST(FuzzFindings, EveryKeptInputRunsToItsEndOrAFatalReport) {
    const std::filesystem::path root = std::filesystem::path(TIR_SOURCE_DIR) / "tests/data/fuzz";
    ASSERT_TRUE(std::filesystem::is_directory(root));
    ScratchDir scratch("fuzz-findings");
    WorkingDir cwd(scratch.path);
    fuzz::scratchFolder() = scratch.path.string() + "/";
    RecordingGl gl;
    resetSharedSceneState();
    sceneState.useTextureLoader(&fakeTextureLoad);
    EnvVar audio("SDL_AUDIODRIVER", "dummy");
    FSOUND_SetOutput(FSOUND_OUTPUT_NOSOUND);
    ASSERT_TRUE(FSOUND_Init(44100, 32));

    int replayed = 0;
    for (const auto& folder : std::filesystem::directory_iterator(root)) {
        const std::string name = folder.path().filename().string();
        ASSERT_TRUE(targets().count(name)) << "no harness is called " << name;
        for (const auto& input : std::filesystem::directory_iterator(folder.path())) {
            SCOPED_TRACE(name + "/" + input.path().filename().string());
            const std::vector<unsigned char> bytes = readFile(input.path().string());
            ::testing::internal::CaptureStdout();
            ::testing::internal::CaptureStderr();
            targets().at(name)(bytes.data(), bytes.size());
            ::testing::internal::GetCapturedStdout();
            ::testing::internal::GetCapturedStderr();
            ++replayed;
        }
    }
    FSOUND_Close();
    resetSharedSceneState();
    EXPECT_GT(replayed, 0);
}

} // namespace
