// The recording engine end to end over the fake capture service and real
// files: recording control, the silence split, and the failure paths.
#include <gtest/gtest.h>
#include <signal.h>
#ifndef _WIN32  // fork and resource limits are Linux's
#include <sys/resource.h>
#include <sys/wait.h>
#endif

#include <algorithm>
#include <chrono>
#include <climits>
#include <filesystem>
#include <functional>
#include <fstream>
#include <random>
#include <set>
#include <thread>

#include "capture/raw_frame_queue.h"
#include "recorder/wide_track_writer.h"
#include "tests/engine_harness.h"
#include "tests/test_support.h"
#include "wavefile/wavefile.h"

using harness::FrameBytes;
using testsupport::ReadFileBytes;
using Frames = std::vector<std::pair<int16_t, int16_t>>;
using Bytes = std::vector<uint8_t>;

namespace {

class EngineTest : public ::testing::Test {
 protected:
  void SetUp() override {
    g_recorderState = RecorderState{};
    StopCapture();
    g_waveFileState = WaveFileState{};
    SetWaveInService(&fake);
    g_nSampleRate = 44100;
    rec.ctlFolder = folder;
  }
  void TearDown() override {
    StopCapture();
    SetWaveInService(nullptr);
    g_waveFileState = WaveFileState{};
  }

  std::string Path(const std::string& name) const { return folder + name + ".wav"; }

  // Delivers frames in buffers of at most `framesPerBuffer`, pumping after each.
  void Deliver(const Frames& frames, size_t framesPerBuffer = 8192) {
    for (size_t at = 0; at < frames.size(); at += framesPerBuffer) {
      const size_t n = std::min(framesPerBuffer, frames.size() - at);
      const auto bytes = FrameBytes(Frames(frames.begin() + at, frames.begin() + at + n));
      ASSERT_TRUE(fake.Deliver(bytes.data(), uint32_t(bytes.size())));
      rec.Pump();
    }
  }

  // The 16-bit stereo frames of a finished track file.
  static Frames FileFrames(const std::string& path) {
    const auto bytes = ReadFileBytes(path);
    EXPECT_GE(bytes.size(), 44u) << path;
    if (bytes.size() < 44) return {};
    EXPECT_EQ(testsupport::ReadLe32(bytes, 40), bytes.size() - 44) << path;
    Frames frames((bytes.size() - 44) / 4);
    for (size_t i = 0; i < frames.size(); ++i) {
      std::memcpy(&frames[i].first, &bytes[44 + 4 * i], 2);
      std::memcpy(&frames[i].second, &bytes[44 + 4 * i + 2], 2);
    }
    return frames;
  }

  testsupport::TempDir dir;
  std::string folder = dir.path() + "/";
  harness::FixedDateNaming naming;
  FakeWaveInService fake;
  harness::TestRecorder rec{naming};
};

Frames Constant(size_t n, int16_t value) { return Frames(n, {value, value}); }

// Sound: every frame moves far from the one before.
Frames Sound(size_t n) {
  Frames f(n);
  for (size_t i = 0; i < n; ++i) f[i] = {int16_t(i % 2 ? 9000 : -9000), int16_t(i % 2 ? -9000 : 9000)};
  return f;
}

Frames Concat(std::initializer_list<Frames> parts) {
  Frames all;
  for (const auto& p : parts) all.insert(all.end(), p.begin(), p.end());
  return all;
}

}  // namespace

// ------------------------------------------------------ recording control

TEST_F(EngineTest, RecordTrackMarkStopNamesTheFilesOfTheDay) {
  rec.OnRecord();
  ASSERT_TRUE(g_bRecording);
  EXPECT_EQ(rec.ctlFile, "REC - " + Path("07Dec001"));
  EXPECT_EQ(fake.lastFormat.nSamplesPerSec, 44100u);
  EXPECT_EQ(fake.QueuedBuffers(), 8u);
  Deliver(Sound(1000));
  rec.OnTrackMark();
  EXPECT_EQ(rec.ctlFile, "REC - " + Path("07Dec002"));
  Deliver(Sound(500));
  rec.OnStop();
  EXPECT_FALSE(g_bRecording);
  EXPECT_EQ(rec.ctlFile, "07Dec003");
  EXPECT_EQ(rec.lamp, "");
  EXPECT_EQ(FileFrames(Path("07Dec001")).size(), 1000u);
  EXPECT_EQ(FileFrames(Path("07Dec002")).size(), 500u);
  EXPECT_FALSE(fake.IsOpen());
  ASSERT_EQ(rec.ends.size(), 1u);
  EXPECT_EQ(rec.ends[0], RecordingEnd::Stopped);
}

TEST_F(EngineTest, StopAndTrackMarkWhileIdleChangeNothing) {
  rec.OnStop();
  rec.OnTrackMark();
  EXPECT_EQ(rec.updatesIn, 0);
  EXPECT_EQ(rec.updatesOut, 0);
  EXPECT_TRUE(rec.ends.empty());
}

TEST_F(EngineTest, RecordWhileRecordingOnlyRestartsTheSilenceRun) {
  rec.OnRecord();
  Deliver(Constant(3000, 5));
  EXPECT_EQ(g_nSilentRun, 3000);  // 0 to 5 is still at level 7 (threshold 128)
  const int updates = rec.updatesIn;
  rec.OnRecord();
  EXPECT_EQ(g_nSilentRun, 0);
  EXPECT_EQ(rec.updatesIn, updates);
  EXPECT_EQ(rec.ctlFile, "REC - " + Path("07Dec001"));
  EXPECT_EQ(fake.opens, 1);
}

TEST_F(EngineTest, FailedCreateShowsTheMessageOfItsResult) {
  rec.ctlFolder = dir.path() + "/missing/";
  rec.OnRecord();
  EXPECT_FALSE(g_bRecording);
  EXPECT_EQ(rec.ctlFile, "failed to open file!");
  EXPECT_EQ(fake.opens, 0);
  rec.language = Language::Japanese;
  rec.OnRecord();
  EXPECT_EQ(rec.ctlFile, "ファイルをオープンできませんでした。");
}

TEST_F(EngineTest, FailedDeviceOpenRemovesTheEmptyFileAndSaysSo) {
  fake.failOpen = true;
  rec.OnRecord();
  EXPECT_FALSE(g_bRecording);
  EXPECT_EQ(rec.ctlFile, "failed to record sound.");
  EXPECT_FALSE(testsupport::FileExists(Path("07Dec001")));
  EXPECT_FALSE(g_waveFileState.writer.file);
  fake.failOpen = false;
  rec.OnRecord();
  EXPECT_TRUE(g_bRecording);
  EXPECT_EQ(rec.ctlFile, "REC - " + Path("07Dec001"));
}

TEST_F(EngineTest, FailedQueueingOfAnySlotLeavesNothingRunning) {
  for (int slot : {0, 7}) {
    for (bool prepare : {true, false}) {
      FakeWaveInService service;
      SetWaveInService(&service);
      (prepare ? service.failPrepareCalls : service.failAddBufferCalls).insert(slot);
      rec.OnRecord();
      EXPECT_FALSE(g_bRecording) << slot;
      EXPECT_EQ(service.starts, 0);
      EXPECT_FALSE(service.IsOpen());
      for (auto* h : g_pWaveHdr) EXPECT_EQ(h, nullptr);
      EXPECT_EQ(rec.ctlFile, "failed to record sound.");
      EXPECT_FALSE(testsupport::FileExists(Path("07Dec001")));
      // Every slot was still tried after the failing one.
      EXPECT_EQ(service.prepareCalls, 8);
      rec.Pump();  // the buffers returned by the reset are ignored
      SetWaveInService(&fake);
    }
  }
}

TEST_F(EngineTest, RateChosenDuringARecordingWaitsForTheNextRecord) {
  rec.OnRecord();
  rec.OnRate48k();
  EXPECT_EQ(g_nSampleRate, 48000);
  rec.OnTrackMark();
  rec.OnStop();
  const auto second = ReadFileBytes(Path("07Dec002"));
  EXPECT_EQ(testsupport::ReadLe32(second, 24), 44100u);
  rec.OnRecord();
  EXPECT_EQ(fake.lastFormat.nSamplesPerSec, 48000u);
  rec.OnStop();
  EXPECT_EQ(testsupport::ReadLe32(ReadFileBytes(Path("07Dec003")), 24), 48000u);
}

TEST_F(EngineTest, MidnightBetweenTwoTracksStartsTheNewDay) {
  rec.OnRecord();
  rec.OnTrackMark();
  naming.date = {8, 12};
  rec.OnTrackMark();
  EXPECT_EQ(rec.ctlFile, "REC - " + Path("08Dec001"));
  rec.OnStop();
  EXPECT_TRUE(testsupport::FileExists(Path("07Dec002")));
}

TEST_F(EngineTest, AFileDeletedDuringARecordingDoesNotLendItsNumberToTheNextTrack) {
  rec.OnRecord();
  rec.OnTrackMark();
  rec.OnTrackMark();
  EXPECT_EQ(rec.ctlFile, "REC - " + Path("07Dec003"));
  std::remove(Path("07Dec002").c_str());  // the user deletes a finished track
  rec.OnTrackMark();
  EXPECT_EQ(rec.ctlFile, "REC - " + Path("07Dec004"));
  rec.OnStop();
  EXPECT_EQ(rec.ctlFile, "07Dec002");  // idle, the file line shows the first free name again
}

TEST_F(EngineTest, ANewRecordingStillTakesTheFirstFreeNumber) {
  testsupport::WriteFileBytes(Path("07Dec002"), {});
  rec.OnRecord();
  EXPECT_EQ(rec.ctlFile, "REC - " + Path("07Dec001"));
  rec.OnTrackMark();
  EXPECT_EQ(rec.ctlFile, "REC - " + Path("07Dec003"));
  rec.OnStop();
}

TEST_F(EngineTest, EmptyFolderRecordsIntoTheCurrentDirectory) {
  const auto saved = std::filesystem::current_path();
  std::filesystem::current_path(dir.path());
  rec.ctlFolder = "";
  rec.OnRecord();
  EXPECT_EQ(rec.ctlFile, "REC - 07Dec001.wav");
  rec.OnStop();
  EXPECT_TRUE(testsupport::FileExists(Path("07Dec001")));
  std::filesystem::current_path(saved);
}

// --------------------------------------------------------- silence split

TEST_F(EngineTest, IndicatorLightsOnTheTenthOfASecond) {
  rec.OnRecord();
  Deliver(Sound(10));
  Deliver(Constant(4409, 9000));  // Sound ends on (9000, -9000): the first of these moves, 4,408 are still
  EXPECT_EQ(rec.lamp, "");
  Deliver(Constant(2, 9000));
  EXPECT_EQ(rec.lamp, "Silent");
  Deliver(Sound(2));
  EXPECT_EQ(rec.lamp, "");
}

TEST_F(EngineTest, SplitAtExactlyTheLengthOfSilence) {
  for (int stillFrames : {4409, 4410}) {
    TearDown();
    SetUp();
    rec.ctlAutoTrack = 1;
    rec.OnRecord();
    // After Sound(10) the last frame is (9000, -9000); constants of 9000 make the
    // first one a change in the right channel: still frames = stillFrames.
    Deliver(Concat({Sound(10), Constant(stillFrames + 1, 9000), Sound(5)}));
    rec.OnStop();
    const bool split = testsupport::FileExists(Path("07Dec002"));
    EXPECT_EQ(split, stillFrames >= 4410) << stillFrames;
    if (split) {
      EXPECT_EQ(FileFrames(Path("07Dec001")).size(), 10u + stillFrames + 1);
      EXPECT_EQ(FileFrames(Path("07Dec002")).size(), 5u);
    }
    for (const auto& e : std::filesystem::directory_iterator(dir.path())) std::filesystem::remove(e.path());
  }
}

TEST_F(EngineTest, AutoTrackOffNeverSplits) {
  rec.OnRecord();
  Deliver(Concat({Sound(10), Constant(50000, 0), Sound(10), Constant(50000, 0), Sound(10)}));
  rec.OnStop();
  EXPECT_FALSE(testsupport::FileExists(Path("07Dec002")));
  EXPECT_EQ(FileFrames(Path("07Dec001")).size(), 100030u);
}

TEST_F(EngineTest, SilenceEndingAtTheFirstFrameOfABufferSplitsThere) {
  rec.ctlAutoTrack = 1;
  rec.OnRecord();
  Deliver(Concat({Sound(3000), Constant(5192, 0)}));  // one full buffer ending in 5,191 still frames
  Deliver(Sound(100));
  rec.OnStop();
  EXPECT_EQ(FileFrames(Path("07Dec001")).size(), 8192u);
  const auto second = FileFrames(Path("07Dec002"));
  ASSERT_EQ(second.size(), 100u);
  EXPECT_EQ(second[0], Sound(1)[0]);
}

TEST_F(EngineTest, LevelExtremes) {
  rec.OnRecord();
  rec.levelPos = 0;  // only an exact repeat is still
  Deliver(Concat({Constant(100, 7), Frames{{8, 7}}}));
  EXPECT_EQ(g_nSilentRun, 0);
  Deliver(Constant(10, 8));
  EXPECT_EQ(g_nSilentRun, 9);
  rec.levelPos = 15;  // a jump of 65,535 is never still
  Deliver(Frames{{-32768, -32768}, {32767, 32767}});
  EXPECT_EQ(g_nSilentRun, 0);
  Deliver(Frames{{0, 0}, {32767, -32767}});
  EXPECT_EQ(g_nSilentRun, 2);
}

TEST_F(EngineTest, DiagnosticLineOfAFullBufferFromSlot3) {
  rec.OnRecord();
  Deliver(Sound(8192 * 4));  // slots 0..3
  EXPECT_EQ(rec.ctlDiag, "0,3,32768no silent");
  Deliver(Constant(8192, 0), 8192);
  EXPECT_EQ(rec.ctlDiag, "8191,4,32768silent");  // its first frame still moves
}

TEST_F(EngineTest, EmptyAndRaggedBuffers) {
  rec.OnRecord();
  Deliver(Sound(4));
  const uint8_t none[1] = {0};
  ASSERT_TRUE(fake.Deliver(none, 0));
  rec.Pump();
  EXPECT_EQ(rec.ctlDiag, "0,1,0no silent");
  const auto bytes = FrameBytes(Sound(2));
  ASSERT_TRUE(fake.Deliver(bytes.data(), 6));  // one whole frame and two stray bytes
  rec.Pump();
  EXPECT_EQ(rec.ctlDiag, "0,2,6no silent");
  EXPECT_EQ(fake.QueuedBuffers(), 8u);  // all handed back
  rec.OnStop();
  EXPECT_EQ(FileFrames(Path("07Dec001")).size(), 5u);
}

TEST_F(EngineTest, ANoticeForAForeignBufferIsIgnored) {
  rec.OnRecord();
  Deliver(Constant(100, 0));
  const auto diag = rec.ctlDiag;
  const int run = g_nSilentRun;
  WAVEHDR foreign{};
  EXPECT_EQ(rec.OnBufferDone(MM_WIM_DATA, reinterpret_cast<intptr_t>(&foreign)), 1);
  EXPECT_EQ(rec.OnBufferDone(0, 0), 1);  // the dialog manager's own WM_USER query
  EXPECT_EQ(rec.ctlDiag, diag);
  EXPECT_EQ(g_nSilentRun, run);
}

TEST_F(EngineTest, StopWritesCapturedBuffersAndItsNoticesChangeNothing) {
  rec.OnRecord();
  const Frames first = Sound(8192);
  const auto bytes = FrameBytes(first);
  ASSERT_TRUE(fake.Deliver(bytes.data(), uint32_t(bytes.size())));  // posted, not yet handled
  rec.OnStop();
  // What the device captured before Stop is in the file...
  EXPECT_EQ(FileFrames(Path("07Dec001")), first);
  // ...and the notices that arrive afterwards neither write nor requeue.
  rec.Pump();
  EXPECT_EQ(FileFrames(Path("07Dec001")), first);
  EXPECT_EQ(fake.addBufferCalls, 8);
}

TEST_F(EngineTest, StaleNoticesOfATornDownRingNeverReachTheNextRecording) {
  // Record, Stop and Record again before the first ring's notices are
  // handled: the new ring's buffers may sit at the old addresses, yet each
  // recording must get exactly its own blocks, in capture order.
  auto block = [](int n) { return Constant(8192, int16_t(100 * n)); };
  rec.OnRecord();
  for (int n = 1; n <= 3; ++n) {
    const auto bytes = FrameBytes(block(n));
    ASSERT_TRUE(fake.Deliver(bytes.data(), uint32_t(bytes.size())));
  }
  rec.OnStop();  // eight notices of the first ring still wait in the queue
  rec.OnRecord();
  Frames expected;
  for (int n = 4; n <= 15; ++n) {
    const auto bytes = FrameBytes(block(n));
    ASSERT_TRUE(fake.Deliver(bytes.data(), uint32_t(bytes.size())));
    const Frames b = block(n);
    expected.insert(expected.end(), b.begin(), b.end());
    if (n % 3 == 0) rec.Pump();  // handled in bursts, the stale notices first
  }
  rec.Pump();
  EXPECT_TRUE(g_bRecording);
  EXPECT_EQ(fake.QueuedBuffers(), 8u);  // each buffer queued once, none twice
  rec.OnStop();
  Frames firstExpected;
  for (int n = 1; n <= 3; ++n) {
    const Frames b = block(n);
    firstExpected.insert(firstExpected.end(), b.begin(), b.end());
  }
  EXPECT_EQ(FileFrames(Path("07Dec001")), firstExpected);
  EXPECT_EQ(FileFrames(Path("07Dec002")), expected);
  EXPECT_EQ(CaptureDroppedFrames(), 0u);
}

TEST_F(EngineTest, SilenceRunSaturatesInsteadOfWrapping) {
  // After about 13.5 hours of stillness at 44.1 kHz the run reaches INT32_MAX;
  // it must stay there, and the sound that ends the silence still splits.
  rec.ctlAutoTrack = 1;
  rec.OnRecord();
  Deliver(Constant(8, 0));
  g_nSilentRun = INT32_MAX - 3;
  Deliver(Constant(8192, 0));
  EXPECT_EQ(g_nSilentRun, INT32_MAX);
  Deliver(Constant(8192, 0));
  EXPECT_EQ(g_nSilentRun, INT32_MAX);
  Deliver(Sound(5));
  EXPECT_EQ(rec.ctlFile, "REC - " + Path("07Dec002"));
  rec.OnStop();
  EXPECT_EQ(FileFrames(Path("07Dec002")).size(), 5u);
}

TEST_F(EngineTest, RateChangeDuringRecordingChangesSilenceLengthsFromTheNextBuffer) {
  rec.ctlAutoTrack = 1;
  rec.OnRecord();
  rec.OnRate32k();  // tenth becomes 3200 from now on
  Deliver(Concat({Sound(10), Constant(3201, 9000), Sound(5)}));
  rec.OnStop();
  EXPECT_TRUE(testsupport::FileExists(Path("07Dec002")));
  EXPECT_EQ(testsupport::ReadLe32(ReadFileBytes(Path("07Dec002")), 24), 44100u);
}

// The same split decisions made by a plain loop, for comparison: for each
// split the frame where the silence ended and the frame where it began.
std::vector<std::pair<size_t, size_t>> ReferenceSplits(const Frames& frames, int32_t threshold, int32_t length) {
  std::vector<std::pair<size_t, size_t>> splits;
  int32_t run = 0, pl = 0, pr = 0;
  for (size_t i = 0; i < frames.size(); ++i) {
    const int32_t before = run;
    const bool still = std::abs(pl - frames[i].first) < threshold && std::abs(pr - frames[i].second) < threshold;
    run = still ? run + 1 : 0;
    pl = frames[i].first;
    pr = frames[i].second;
    if (before >= length && run < length) splits.push_back({i, i - size_t(before)});
  }
  return splits;
}

// Random sound and silence stretches around the 4,410-frame split length,
// delivered in random buffers with random Track marks, split as they are
// (no frames held back) and through the hold, without and with a lead-in:
// every frame is in exactly one file, in order, and the files start at the
// splits (a lead-in before each, never before its silence or the track) and marks.
TEST_F(EngineTest, FrameConservationWithRandomSilencesBuffersAndMarks) {
  std::mt19937 rng(1234);
  for (int round = 0; round < 6; ++round) {
    const uint32_t seed = static_cast<uint32_t>(rng());
    for (const int leadIn : {-1, 0, 2205}) {  // -1: nothing held
      SCOPED_TRACE("round " + std::to_string(round) + ", lead-in " + std::to_string(leadIn));
      TearDown();
      SetUp();
      std::mt19937 random(seed);
      for (const auto& e : std::filesystem::directory_iterator(dir.path())) std::filesystem::remove(e.path());
      Frames input;
      std::uniform_int_distribution<int> len(1, 9000), amp(-32768, 32767), coin(0, 2);
      while (input.size() < 200000) {
        const int n = len(random);
        if (coin(random) == 0) {
          const int16_t v = int16_t(amp(random));
          for (int i = 0; i < n; ++i) input.push_back({int16_t(v + i % 3), int16_t(v - i % 5)});
        } else {
          for (int i = 0; i < n; ++i) input.push_back({int16_t(amp(random)), int16_t(amp(random))});
        }
      }
      rec.ctlAutoTrack = 1;
      rec.levelPos = 3;
      rec.split = SplitSettings{};
      if (leadIn >= 0) {
        rec.split.leadInSeconds = leadIn / 44100.0;
        rec.split.minTrackSeconds = 1e-9;  // holds the frames, merges nothing
      }
      rec.OnRecord();
      std::vector<size_t> markedAt;
      size_t at = 0;
      std::uniform_int_distribution<int> bufferFrames(0, 8192), markChance(0, 9);
      while (at < input.size()) {
        const size_t n = std::min<size_t>(bufferFrames(random), input.size() - at);
        const auto bytes = FrameBytes(Frames(input.begin() + at, input.begin() + at + n));
        ASSERT_TRUE(fake.Deliver(bytes.data(), uint32_t(bytes.size())));
        rec.Pump();
        at += n;
        if (markChance(random) == 0 && at < input.size()) {
          rec.OnTrackMark();
          markedAt.push_back(at);
        }
      }
      rec.OnStop();

      std::vector<std::string> names;
      for (const auto& e : std::filesystem::directory_iterator(dir.path())) names.push_back(e.path().string());
      std::sort(names.begin(), names.end());
      Frames joined;
      std::vector<size_t> starts;
      for (const auto& n : names) {
        starts.push_back(joined.size());
        const auto f = FileFrames(n);
        joined.insert(joined.end(), f.begin(), f.end());
      }
      ASSERT_EQ(joined.size(), input.size());
      ASSERT_TRUE(joined == input);
      // The splits and marks in the order they are decided (a mark after the
      // buffer it follows), each held split placed after the track it ends began.
      std::vector<size_t> expected{0};
      size_t mark = 0;
      for (const auto& [end, begin] : ReferenceSplits(input, 8, 4410)) {
        for (; mark < markedAt.size() && markedAt[mark] <= end; ++mark) expected.push_back(markedAt[mark]);
        if (leadIn < 0) {
          expected.push_back(end);
          continue;
        }
        const size_t at = std::max({begin, end - std::min<size_t>(end, size_t(leadIn)), expected.back()});
        if (at > expected.back()) expected.push_back(at);
      }
      expected.insert(expected.end(), markedAt.begin() + mark, markedAt.end());
      EXPECT_EQ(starts, expected);
    }
  }
}

// ------------------------------------------------------------- failures

TEST_F(EngineTest, FailedNextTrackStopsTheRecording) {
  rec.OnRecord();
  Deliver(Sound(100));
  rec.ctlFolder = dir.path() + "/gone/";  // chosen with Browse, then removed
  rec.OnTrackMark();
  EXPECT_FALSE(g_bRecording);
  EXPECT_EQ(rec.ctlFile, "failed to open file!");
  EXPECT_FALSE(fake.IsOpen());
  EXPECT_EQ(FileFrames(Path("07Dec001")).size(), 100u);
  ASSERT_FALSE(rec.ends.empty());
  EXPECT_EQ(rec.ends.back(), RecordingEnd::CreateFailed);
}

TEST_F(EngineTest, FailedSplitInsideABufferHandsNoFrameToAClosedWriter) {
  rec.ctlAutoTrack = 1;
  rec.OnRecord();
  Deliver(Concat({Sound(10), Constant(5000, 0)}));
  rec.ctlFolder = dir.path() + "/gone/";
  const auto bytes = FrameBytes(Sound(300));
  ASSERT_TRUE(fake.Deliver(bytes.data(), uint32_t(bytes.size())));
  rec.Pump();
  EXPECT_FALSE(g_bRecording);
  EXPECT_EQ(rec.ctlFile, "failed to open file!");
  EXPECT_EQ(FileFrames(Path("07Dec001")).size(), 5010u);
}

TEST_F(EngineTest, HandBackFailureEndsTheCaptureAndCompletesTheFile) {
  rec.OnRecord();
  Deliver(Sound(10));
  Deliver(Constant(110, 9000));  // a run of 110 still frames (the first moves)
  fake.failPrepareCalls.insert(fake.prepareCalls);
  Deliver(Constant(11, 9000));
  EXPECT_FALSE(g_bRecording);
  EXPECT_EQ(rec.ctlDiag, "120 Failure Add-prep Buffer!!");
  EXPECT_EQ(rec.ctlFile, "failed to record sound.");
  EXPECT_FALSE(fake.IsOpen());
  EXPECT_EQ(FileFrames(Path("07Dec001")).size(), 131u);
  rec.OnRecord();
  EXPECT_TRUE(g_bRecording);
  EXPECT_EQ(rec.ctlFile, "REC - " + Path("07Dec002"));
}

TEST_F(EngineTest, HandBackFailureStillWritesTheBuffersTheDeviceHadFilled) {
  rec.OnRecord();
  Deliver(Sound(100));
  // Two more buffers come back before the window handles the first of them,
  // whose hand-back then fails: the second was captured and goes in too.
  const Frames first = Constant(8192, 1000), second = Constant(8192, 2000);
  fake.failPrepareCalls.insert(fake.prepareCalls);
  ASSERT_TRUE(fake.Deliver(FrameBytes(first).data(), 8192 * 4));
  ASSERT_TRUE(fake.Deliver(FrameBytes(second).data(), 8192 * 4));
  rec.Pump();
  EXPECT_FALSE(g_bRecording);
  EXPECT_EQ(rec.ctlFile, "failed to record sound.");
  EXPECT_EQ(rec.ends.back(), RecordingEnd::CaptureFailed);
  const Frames written = FileFrames(Path("07Dec001"));
  ASSERT_EQ(written.size(), 100u + 8192 + 8192);
  EXPECT_EQ(written[100].first, 1000);
  EXPECT_EQ(written[100 + 8192].first, 2000);
  EXPECT_EQ(written.back().first, 2000);
}

// Another recorder takes a name after this one has found it free and before
// it creates the file (the window opened by the check and the create).
class RacingNaming : public harness::FixedDateNaming {
 public:
  mutable std::set<std::string> takenByOthers;  // paths another recorder creates the moment they are found free
  bool EntryExists(const std::string& path) const override {
    const bool exists = FixedDateNaming::EntryExists(path);
    if (!exists && takenByOthers.erase(path) > 0) {
      std::ofstream(path, std::ios::binary) << "the other recorder's take";
    }
    return exists;
  }
};

TEST_F(EngineTest, ANameTakenBetweenTheCheckAndTheCreateMovesOnAndTruncatesNothing) {
  RacingNaming racing;
  harness::TestRecorder other{racing};
  other.ctlFolder = folder;
  racing.takenByOthers = {Path("07Dec001"), Path("07Dec002"), Path("07Dec004")};
  other.OnRecord();
  ASSERT_TRUE(g_bRecording);
  EXPECT_EQ(other.ctlFile, "REC - " + Path("07Dec003"));
  const Frames input = Sound(300);
  const auto bytes = FrameBytes(input);
  ASSERT_TRUE(fake.Deliver(bytes.data(), uint32_t(bytes.size())));
  other.Pump();
  other.OnTrackMark();  // 004 is taken in the same way at the track change
  EXPECT_EQ(other.ctlFile, "REC - " + Path("07Dec005"));
  other.OnStop();
  EXPECT_EQ(FileFrames(Path("07Dec003")), input);
  for (const char* name : {"07Dec001", "07Dec002", "07Dec004"}) {
    EXPECT_EQ(std::filesystem::file_size(Path(name)), 25u) << name << " was truncated";
  }
}

#ifndef _WIN32  // Windows refuses to delete or move a file the writer holds open
// The engine with a writer that looks at its file at every buffer.
class WatchedEngineTest : public EngineTest {
 protected:
  void SetUp() override {
    EngineTest::SetUp();
    rec.SetTrackWriter(everyBuffer);
  }
  WaveTrackWriter everyBuffer{std::chrono::milliseconds(0)};
};

TEST_F(WatchedEngineTest, ADeletedTrackFileEndsTheRecordingAtTheNextLookAndSaysSo) {
  rec.OnRecord();
  Deliver(Sound(100));
  ASSERT_TRUE(std::filesystem::remove(Path("07Dec001")));
  Deliver(Sound(100));
  EXPECT_FALSE(g_bRecording);
  EXPECT_EQ(rec.ctlFile, "failed to write file.");
  EXPECT_EQ(rec.ends.back(), RecordingEnd::WriteFailed);
  EXPECT_TRUE(rec.TrackFileLost());
  EXPECT_FALSE(fake.IsOpen());
}

TEST_F(WatchedEngineTest, AMovedTrackFileEndsTheRecordingAndIsCompletedWhereItWent) {
  rec.OnRecord();
  Deliver(Sound(100));
  const std::string moved = dir.path() + "/moved.wav";
  std::filesystem::rename(Path("07Dec001"), moved);
  Deliver(Sound(50));
  EXPECT_FALSE(g_bRecording);
  EXPECT_TRUE(rec.TrackFileLost());
  EXPECT_EQ(FileFrames(moved).size(), 150u);
  // The next recording watches its own file afresh.
  rec.OnRecord();
  Deliver(Sound(10));
  EXPECT_TRUE(g_bRecording);
  EXPECT_FALSE(rec.TrackFileLost());
}

TEST_F(WatchedEngineTest, ARemovedFolderEndsTheRecording) {
  rec.ctlFolder = folder + "sub/";
  std::filesystem::create_directory(folder + "sub");
  rec.OnRecord();
  Deliver(Sound(100));
  std::filesystem::remove_all(folder + "sub");
  Deliver(Sound(100));
  EXPECT_FALSE(g_bRecording);
  EXPECT_TRUE(rec.TrackFileLost());
  EXPECT_EQ(rec.ctlFile, "failed to write file.");
}

TEST_F(EngineTest, TheDefaultWriterSeesADeletedFileWithinItsLookInterval) {
  rec.OnRecord();
  Deliver(Sound(100));
  ASSERT_TRUE(std::filesystem::remove(Path("07Dec001")));
  // Buffers keep coming as they do from a live input; the loss is seen at
  // the first look after the interval, well within a second.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(1);
  while (g_bRecording && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    Deliver(Sound(100));
  }
  EXPECT_FALSE(g_bRecording);
  EXPECT_TRUE(rec.TrackFileLost());
}

// A file deleted between the writer's looks, just before its track ends, is
// still seen: the track's end looks at once.
TEST_F(EngineTest, AFileDeletedJustBeforeStopIsReportedLost) {
  rec.OnRecord();
  Deliver(Sound(100));
  ASSERT_TRUE(std::filesystem::remove(Path("07Dec001")));
  rec.OnStop();
  EXPECT_FALSE(g_bRecording);
  EXPECT_EQ(rec.ends.back(), RecordingEnd::WriteFailed);
  EXPECT_EQ(rec.ctlFile, "failed to write file.");
  EXPECT_TRUE(rec.TrackFileLost());
}

TEST_F(EngineTest, AFileMovedJustBeforeATrackChangeEndsTheRecordingCompletedWhereItWent) {
  rec.ctlAutoTrack = 1;
  rec.OnRecord();
  Deliver(Sound(100));
  const std::string moved = dir.path() + "/moved.wav";
  std::filesystem::rename(Path("07Dec001"), moved);
  // A long silence, then sound: the split would close the moved file.
  Deliver(Concat({Constant(8000, 0), Sound(100)}));
  EXPECT_FALSE(g_bRecording);
  EXPECT_EQ(rec.ends.back(), RecordingEnd::WriteFailed);
  EXPECT_TRUE(rec.TrackFileLost());
  EXPECT_EQ(FileFrames(moved).size(), 100u + 8000u);
  EXPECT_FALSE(std::filesystem::exists(Path("07Dec002")));
}
#endif

TEST_F(EngineTest, VanishedDeviceCompletesTheFile) {
  rec.OnRecord();
  Deliver(Sound(700));
  fake.Vanish();
  rec.Pump();
  EXPECT_FALSE(g_bRecording);
  EXPECT_EQ(rec.ctlFile, "failed to record sound.");
  EXPECT_EQ(FileFrames(Path("07Dec001")).size(), 700u);
  EXPECT_EQ(rec.ends.back(), RecordingEnd::CaptureFailed);
}

TEST_F(EngineTest, EndOfInputStopsExactlyAsStop) {
  rec.OnRecord();
  Deliver(Sound(700));
  fake.SendMessage(MM_WIM_ENDED, WIM_END_OF_INPUT);
  rec.Pump();
  EXPECT_FALSE(g_bRecording);
  EXPECT_EQ(rec.ctlFile, "07Dec002");
  EXPECT_EQ(rec.ends.back(), RecordingEnd::InputEnded);
}

TEST_F(EngineTest, ClosingDuringARecordingCompletesTheFile) {
  rec.OnRecord();
  Deliver(Sound(3000));
  rec.CloseRecording();
  EXPECT_FALSE(g_bRecording);
  EXPECT_EQ(FileFrames(Path("07Dec001")).size(), 3000u);
}

TEST_F(EngineTest, SizeLimitStartsTheNextTrackBeforeTheFrame) {
  rec.OnRecord();
  Deliver(Sound(3));
  ASSERT_EQ(WaveClose(), WAVE_OK);  // restart the open file with its counters near the limit
  ASSERT_EQ(WaveCreate(Path("07Dec001").c_str(), 44100, 16, 2, 0), WAVE_OK);
  ASSERT_EQ(WaveTestSetFramesWritten(kWaveMaxDataBytes / 4 - 5), WAVE_OK);
  const Frames input = Sound(12);
  Deliver(input);
  EXPECT_EQ(rec.ctlFile, "REC - " + Path("07Dec002"));
  rec.OnStop();
  const auto second = FileFrames(Path("07Dec002"));
  ASSERT_EQ(second.size(), 7u);
  EXPECT_TRUE(std::equal(second.begin(), second.end(), input.begin() + 5));
  FILE* f = std::fopen(Path("07Dec001").c_str(), "rb");
  WaveHeader h{};
  ASSERT_EQ(std::fread(&h, 1, 44, f), 44u);
  std::fclose(f);
  EXPECT_EQ(h.dataSize, kWaveMaxDataBytes / 4 * 4);
}

#ifndef _WIN32  // fork and resource limits are Linux's
TEST_F(EngineTest, WriteFailureStopsAtOnceWithEveryWholeFrameOnDisk) {
  const std::string path = Path("07Dec001");
  const int status = testsupport::RunInChild([&] {
    signal(SIGXFSZ, SIG_IGN);
    const rlim_t limit = 44 + 409600 + 4 * 1000 + 2;
    rlimit rl{limit, limit};
    setrlimit(RLIMIT_FSIZE, &rl);
    rec.OnRecord();
    if (!g_bRecording) return 10;
    const Frames sound = Sound(8192);
    for (int i = 0; i < 30 && g_bRecording; ++i) {
      const auto bytes = FrameBytes(sound);
      fake.Deliver(bytes.data(), uint32_t(bytes.size()));
      rec.Pump();
    }
    if (g_bRecording) return 11;
    if (rec.ctlFile != "failed to write file.") return 12;
    if (fake.IsOpen()) return 13;
    return 0;
  });
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
  const auto bytes = ReadFileBytes(path);
  EXPECT_EQ(testsupport::ReadLe32(bytes, 40), 409600u + 4000u);
}

// Runs `body` in a child process whose files may not grow past `limit` bytes
// (writes beyond it fail as on a full disk); returns the child's exit code.
int WithFileSizeLimit(rlim_t limit, const std::function<int()>& body) {
  const int status = testsupport::RunInChild([&] {
    signal(SIGXFSZ, SIG_IGN);
    rlimit rl{limit, limit};
    setrlimit(RLIMIT_FSIZE, &rl);
    return body();
  });
  return WIFEXITED(status) ? WEXITSTATUS(status) : 100;
}

TEST_F(EngineTest, StopWhoseFinalWriteFailsSaysSoInsteadOfStopped) {
  const int code = WithFileSizeLimit(44 + 4000 + 2, [&] {
    rec.OnRecord();
    Deliver(Sound(3000));  // staged only: it reaches the disk at Stop
    rec.OnStop();
    if (g_bRecording) return 10;
    if (rec.ctlFile != "failed to write file.") return 11;
    if (rec.LastEnd() != RecordingEnd::WriteFailed) return 12;
    return 0;
  });
  EXPECT_EQ(code, 0);
  // The header states exactly the whole frames that reached the disk.
  EXPECT_EQ(FileFrames(Path("07Dec001")).size(), 1000u);
}

TEST_F(EngineTest, TrackChangeWhoseCloseFailsEndsTheRecording) {
  const int code = WithFileSizeLimit(44 + 4000 + 2, [&] {
    rec.OnRecord();
    Deliver(Sound(3000));
    rec.OnTrackMark();  // completing track 1 fails: the recording must not go on
    if (g_bRecording) return 10;
    if (rec.ctlFile != "failed to write file.") return 11;
    if (rec.LastEnd() != RecordingEnd::WriteFailed) return 12;
    if (fake.IsOpen()) return 13;
    return 0;
  });
  EXPECT_EQ(code, 0);
  EXPECT_EQ(FileFrames(Path("07Dec001")).size(), 1000u);
  EXPECT_FALSE(testsupport::FileExists(Path("07Dec002")));
}
#endif

TEST_F(EngineTest, TheWideWriterWritesTheQueuedFramesPassesOverSkippedOnesAndLeavesOutTheLast) {
  // Ten 24-bit stereo frames whose bytes count up; the 16-bit frames put are ignored.
  RawFrameQueue queue(6);
  Bytes raw(60);
  for (size_t i = 0; i < raw.size(); ++i) raw[i] = static_cast<uint8_t>(i);
  queue.Put(raw.data(), 10);
  WideTrackWriter writer(queue, false);
  const std::string path = Path("wide");
  ASSERT_EQ(writer.Create(path, 48000, 24, 2), WAVE_OK);
  EXPECT_EQ(writer.FramesLeft(), (0xFFFFFFFFull - 44 - 1) / 6);
  const Bytes ignored(4 * 10, 0xEE);
  ASSERT_EQ(writer.PutFrames(ignored.data(), 3), WAVE_OK);
  writer.SkipFrames(2);
  ASSERT_EQ(writer.PutFrames(ignored.data(), 4), WAVE_OK);
  writer.LeaveOutLast(1);
  ASSERT_EQ(writer.Close(), WAVE_OK);
  // Frames 0-2 and 5-7: 8 was taken back out, 9 never put.
  const Bytes file = ReadFileBytes(path);
  ASSERT_EQ(file.size(), 44u + 36u);
  EXPECT_EQ(testsupport::ReadLe32(file, 40), 36u);
  EXPECT_EQ(testsupport::ReadLe16(file, 34), 24);
  EXPECT_TRUE(Bytes(file.begin() + 44, file.begin() + 62) == Bytes(raw.begin(), raw.begin() + 18));
  EXPECT_TRUE(Bytes(file.begin() + 62, file.end()) == Bytes(raw.begin() + 30, raw.begin() + 48));
  // A name that is taken is left alone and says so, as the WAV writer does.
  EXPECT_EQ(writer.Create(path, 48000, 24, 2), WAVE_ERR_OPEN);
  EXPECT_EQ(writer.Errno(), EEXIST);
  EXPECT_EQ(ReadFileBytes(path), file);
}

TEST_F(EngineTest, WalkInBlocksAgreesWithTheReferenceAtEveryLevel) {
  // Frames whose stillness changes often, around every threshold, in buffers
  // of every alignment: the fast walk must count exactly like a plain loop.
  std::mt19937 rng(99);
  std::uniform_int_distribution<int> step(-300, 300), big(0, 50);
  Frames input;
  int16_t l = 0, r = 0;
  for (int i = 0; i < 60000; ++i) {
    if (big(rng) == 0) {
      l = int16_t(step(rng) * 100);
    } else {
      l = int16_t(std::clamp(l + step(rng) / (1 + i % 7), -32768, 32767));
    }
    r = int16_t(std::clamp(r + step(rng) / 3, -32768, 32767));
    input.push_back({l, r});
    if (i % 9000 == 4500) {
      // Steps just inside and outside the highest thresholds, and full-scale jumps.
      for (int16_t v : {0, 16383, 0, 16384, 0, -16384, 32767, -1, -32768, 0, 32767, -32768, -32768, -1, 32766, 32767}) {
        input.push_back({v, r});
        input.push_back({v, int16_t(-1 - v)});
      }
    }
  }
  for (int level : {0, 4, 7, 9, 14, 15}) {
    TearDown();
    SetUp();
    for (const auto& e : std::filesystem::directory_iterator(dir.path())) std::filesystem::remove(e.path());
    rec.levelPos = level;
    rec.ctlAutoTrack = 1;
    rec.OnRecord();
    int32_t run = 0, pl = 0, pr = 0;
    size_t at = 0;
    std::uniform_int_distribution<int> sizes(1, 40);
    while (at < input.size()) {
      const size_t n = std::min<size_t>(sizes(rng) * 37, input.size() - at);
      Deliver(Frames(input.begin() + at, input.begin() + at + n), n);
      for (size_t i = at; i < at + n; ++i) {
        const bool still = std::abs(pl - input[i].first) < (1 << level) && std::abs(pr - input[i].second) < (1 << level);
        run = still ? run + 1 : 0;
        pl = input[i].first;
        pr = input[i].second;
      }
      at += n;
      ASSERT_EQ(g_nSilentRun, run) << "level " << level << " at " << at;
    }
    rec.OnStop();
  }
}
