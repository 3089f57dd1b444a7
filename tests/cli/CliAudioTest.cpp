// vemra-cli devices, generate and rta, run as a user would: known signals in, known levels out.
#include "dsp/LevelFactor.h"
#include "dsp/PinkNoiseGenA.h"
#include "io/SoundFile.h"
#include "room/uRT60Complete.h"

#include "CliRun.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>
#include <sys/resource.h>
#include <sys/stat.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <limits>
#include <sstream>
#include <string>

namespace fs = std::filesystem;

namespace {

class Cli : public ::testing::Test {
protected:
  void SetUp() override {
    Dir = fs::temp_directory_path() /
          ("vemra-cli-audio-" + std::to_string(::getpid()) + "-" +
           ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::create_directories(Dir);
  }
  void TearDown() override { fs::remove_all(Dir); }

  // Runs vemra-cli with the arguments (and environment assignments, as in a shell).
  static TCliRun Run(const std::string& Args, const std::string& Env = "") { return RunCli(Args, Env); }
  std::string File(const std::string& Name) const { return (Dir / Name).string(); }
  static const nlohmann::json& Band(const nlohmann::json& Doc, double Nominal) {
    for (const auto& b : Doc["bands"]) {
      if (b["nominal"].get<double>() == Nominal) return b;
    }
    throw std::runtime_error("no band " + std::to_string(Nominal));
  }

  fs::path Dir;
};

}  // namespace

TEST_F(Cli, FullScaleSineReadsMinus3dBInItsBandAndAWeightingIsZeroAt1k) {
  ASSERT_EQ(Run("generate sine --freq 1000 --level 0 --seconds 3 --out " + File("s.wav")).ExitCode, 0);
  const TCliRun z = Run("rta --file " + File("s.wav") + " --octave 3 --json");
  ASSERT_EQ(z.ExitCode, 0) << z.Err;
  const auto doc = z.Json();
  EXPECT_EQ(doc["sample_rate"], 48000);
  EXPECT_EQ(doc["octave"], 3);
  EXPECT_EQ(doc["weighting"], "Z");
  EXPECT_EQ(doc["bands"].size(), 31u);
  EXPECT_EQ(Band(doc, 1000)["centre"], 1000);
  EXPECT_NEAR(Band(doc, 1000)["level_db"].get<double>(), -3.01, 0.05);
  EXPECT_NEAR(doc["rms_db"].get<double>(), -3.01, 0.01);
  EXPECT_NEAR(doc["leq_sliding_db"].get<double>(), -3.01, 0.01);
  EXPECT_GE(doc["peak_db"].get<double>(), doc["rms_db"].get<double>());
  for (const char* key : {"leq_db", "speed"}) EXPECT_TRUE(doc.contains(key)) << key;
  // Bands an octave away see nothing of it.
  EXPECT_LT(Band(doc, 500)["level_db"].get<double>(), -40);

  const TCliRun a = Run("rta --file " + File("s.wav") + " --octave 3 --weighting A --json");
  ASSERT_EQ(a.ExitCode, 0) << a.Err;
  EXPECT_EQ(a.Json()["weighting"], "A");
  EXPECT_NEAR(Band(a.Json(), 1000)["level_db"].get<double>(), Band(doc, 1000)["level_db"].get<double>(), 0.05);
}

TEST_F(Cli, AWeightingTakes19dBOffA100HzSine) {
  ASSERT_EQ(Run("generate sine --freq 100 --seconds 3 --out " + File("h.wav")).ExitCode, 0);
  const auto z = Run("rta --file " + File("h.wav") + " --json").Json();
  const auto a = Run("rta --file " + File("h.wav") + " --weighting A --json").Json();
  EXPECT_NEAR(Band(z, 100)["level_db"].get<double>() - Band(a, 100)["level_db"].get<double>(), 19.1, 1.0);
  EXPECT_NEAR(z["rms_db"].get<double>() - a["rms_db"].get<double>(), 19.1, 1.0);
}

TEST_F(Cli, GeneratedSignalsComeFromTheProgramsGenerators) {
  ASSERT_EQ(Run("generate sweep --start 50 --stop 5000 --seconds 0.5 --level -6 --rate 44100 --out " +
                File("w.wav")).ExitCode, 0);
  const TSoundFile w = TSoundFile::Read(File("w.wav"));
  TRTPipeline rt(44100.0f);
  const auto sweep = rt.GenerateLogSweep_RTA(50.0f, 5000.0f, 0.5f);
  EXPECT_EQ(w.SampleRate, 44100);
  ASSERT_EQ(w.Frames(), sweep->size());
  for (std::size_t j = 0; j < sweep->size(); ++j) ASSERT_FLOAT_EQ(w.Channels[0][j], (*sweep)[j] * LevelToFactor(-6));

  const TCliRun p = Run("generate pink --seconds 2 --level -20 --out " + File("p.wav"));
  ASSERT_EQ(p.ExitCode, 0) << p.Err;
  const TSoundFile pink = TSoundFile::Read(File("p.wav"));
  ASSERT_EQ(pink.Frames(), 96000u);
  // The generator window's pink source (level argument -1 dB) at the factor of -20 dB.
  TPinkNoiseGeneratorA twin(-1.0);
  for (float x : pink.Channels[0]) ASSERT_FLOAT_EQ(x, static_cast<float>(twin.GetSample()) * LevelToFactor(-20));
  // 1/3-octave bands of pink noise are flat.
  const auto doc = Run("rta --file " + File("p.wav") + " --json").Json();
  EXPECT_NEAR(Band(doc, 125)["level_db"].get<double>(), Band(doc, 4000)["level_db"].get<double>(), 2.5);
}

TEST_F(Cli, FileAtAnotherRateIsResampledAndSaysSo) {
  ASSERT_EQ(Run("generate sine --freq 1000 --rate 44100 --out " + File("s44.wav")).ExitCode, 0);
  const TCliRun r = Run("rta --file " + File("s44.wav") + " --json");
  ASSERT_EQ(r.ExitCode, 0) << r.Err;
  EXPECT_NE(r.Err.find("resampled to 48000 Hz"), std::string::npos) << r.Err;
  EXPECT_NEAR(Band(r.Json(), 1000)["level_db"].get<double>(), -3.01, 0.05);
}

TEST_F(Cli, BadInputFailsWithOneLineAndUsageErrorsWithExit2) {
  ASSERT_EQ(Run("generate sine --out " + File("m.wav")).ExitCode, 0);
  std::ofstream(File("text.wav")) << "this is not a sound file\n";
  std::vector<float> broken(4800, 0.1f);
  broken[99] = std::numeric_limits<float>::quiet_NaN();
  TSoundFile::WriteMonoFloatWav(File("nan.wav"), broken, 48000);
  struct TCase {
    std::string Args;
    int Exit;
    std::string Says;
  };
  const std::vector<TCase> cases{
      {"rta --file " + File("missing.wav"), 1, "missing.wav"},
      {"rta --file " + File("text.wav"), 1, "text.wav"},
      {"rta --file " + File("m.wav") + " --channel 2", 1, "channel 2"},
      {"rta --device \"No such interface\" --seconds 1", 1, "No such interface"},
      {"rta --octave 3", 2, "--file or --device"},
      {"rta --file " + File("m.wav") + " --device \"Virtual interface\" --seconds 1", 2, "--file or --device"},
      {"rta --device \"Virtual interface\"", 2, "--seconds"},
      {"rta --file " + File("m.wav") + " --seconds 2", 2, "--device only"},
      {"rta --file " + File("m.wav") + " --octave 5", 2, "octave"},
      {"rta --file " + File("m.wav") + " --weighting B", 2, "weighting"},
      {"generate noise --out " + File("x.wav"), 2, "kind"},
      {"generate sine", 2, "--out"},
      {"generate pink --freq 100 --out " + File("x.wav"), 2, "--freq"},
      {"generate sweep --start 500 --stop 100 --out " + File("x.wav"), 2, "--start"},
      {"generate sine --out " + File("no/such/folder/x.wav"), 1, "x.wav"},
      {"rta --device \"\" --seconds 1", 1, "no audio interface"},
      {"rta --file " + File("nan.wav"), 1, "sample 100 of channel 1 is not a number"},
      {"rta --file " + File("m.wav") + " --channel 0", 2, "--channel: 0 is outside 1"},
      {"rta --file " + File("m.wav") + " --block 0", 2, "--block: 0 is outside 16"},
      {"rta --file " + File("m.wav") + " --block -5", 2, "--block"},
      {"rta --file " + File("m.wav") + " --block 1.5", 2, "not a whole number"},
      {"rta --device \"Virtual interface\" --seconds 0", 2, "--seconds"},
      {"rta --device \"Virtual interface\" --seconds nan", 2, "--seconds: nan is not a number"},
      {"rta --device \"Virtual interface\" --seconds 1 --input 11", 2, "--input"},
      {"rta --device \"Virtual interface\" --seconds 1 --signal sine --freq nan", 2, "--freq"},
      {"rta --device \"Virtual interface\" --seconds 1 --signal pink --signal-level inf", 2, "--signal-level"},
      {"generate sine --seconds nan --out " + File("x.wav"), 2, "--seconds: nan is not a number"},
      {"generate sine --seconds 1e12 --out " + File("x.wav"), 2, "--seconds"},
      {"generate sine --level nan --out " + File("x.wav"), 2, "--level"},
      {"generate sine --rate 44100.5 --out " + File("x.wav"), 2, "--rate"},
      {"generate sine --out " + Dir.string(), 1, "not a regular file"},
  };
  for (const auto& c : cases) {
    const TCliRun r = Run(c.Args);
    EXPECT_EQ(r.ExitCode, c.Exit) << c.Args << "\n" << r.Err;
    EXPECT_NE(r.Err.find(c.Says), std::string::npos) << c.Args << "\n" << r.Err;
    EXPECT_EQ(std::count(r.Err.begin(), r.Err.end(), '\n'), 1) << c.Args << "\n" << r.Err;
  }
  EXPECT_FALSE(fs::exists(File("x.wav")));
}

// More samples than a WAV file holds are refused before anything is computed (the address space is
// limited here, so an attempt to compute them fails differently); a target that is no regular file is
// refused before the samples are computed and left as it was.
TEST_F(Cli, GenerateRefusesWhatCannotBeWritten) {
  rlimit saved{};
  ASSERT_EQ(::getrlimit(RLIMIT_AS, &saved), 0);
  rlimit limited = saved;
  limited.rlim_cur = rlim_t{1} << 31;
  ASSERT_EQ(::setrlimit(RLIMIT_AS, &limited), 0);
  const TCliRun big = Run("generate pink --seconds 3600 --rate 384000 --out " + File("big.wav"));
  ::setrlimit(RLIMIT_AS, &saved);
  EXPECT_EQ(big.ExitCode, 2) << big.Err;
  EXPECT_NE(big.Err.find("do not fit in a WAV file (at most 2796 s at this rate)"), std::string::npos) << big.Err;
  EXPECT_FALSE(fs::exists(File("big.wav")));

  ASSERT_EQ(::mkfifo(File("pipe.wav").c_str(), 0600), 0);
  const TCliRun fifo = Run("generate sine --out " + File("pipe.wav"));
  EXPECT_EQ(fifo.ExitCode, 1);
  EXPECT_NE(fifo.Err.find("not a regular file"), std::string::npos) << fifo.Err;
  EXPECT_TRUE(fs::is_fifo(File("pipe.wav")));
  for (const auto& e : fs::directory_iterator(Dir)) {  // nothing half-written is left beside it
    const std::string name = e.path().filename().string();
    EXPECT_TRUE(name == "pipe.wav" || name.find("pipe.wav") == std::string::npos) << name;
  }

  // Through a symbolic link the file it names is written; the link stays.
  std::ofstream(File("real.wav")) << "old";
  fs::create_symlink("real.wav", File("link.wav"));
  ASSERT_EQ(Run("generate sine --seconds 0.1 --out " + File("link.wav")).ExitCode, 0);
  EXPECT_TRUE(fs::is_symlink(File("link.wav")));
  EXPECT_EQ(TSoundFile::Read(File("real.wav")).Frames(), 4800u);
}

TEST_F(Cli, DevicesListTheVirtualInterfaceFirstAsConfigured) {
  const TCliRun r = Run("devices --json", "VEMRA_VIRTUAL_ROOM='inputs=8;outputs=2;block=512;rates=44100,96000'");
  ASSERT_EQ(r.ExitCode, 0) << r.Err;
  const auto first = r.Json()["devices"][0];
  EXPECT_EQ(first["name"], "Virtual interface");
  EXPECT_EQ(first["inputs"], 8);
  EXPECT_EQ(first["outputs"], 2);
  EXPECT_EQ(first["buffer_size"], 512);
  EXPECT_EQ(first["sample_rates"], nlohmann::json({44100, 96000}));
  const TCliRun table = Run("devices");
  EXPECT_EQ(table.ExitCode, 0);
  EXPECT_NE(table.Out.find("Virtual interface"), std::string::npos);
  // The analyzer runs at 48000 Hz: an interface without it is refused with a reason.
  const TCliRun refused = Run("rta --device \"Virtual interface\" --seconds 1",
                           "VEMRA_VIRTUAL_ROOM='rates=44100,96000'");
  EXPECT_EQ(refused.ExitCode, 1);
  EXPECT_NE(refused.Err.find("48000"), std::string::npos) << refused.Err;
  const TCliRun badRoom = Run("devices --json", "VEMRA_VIRTUAL_ROOM='rt60=long'");
  EXPECT_NE(badRoom.Out.find("rt60=long"), std::string::npos) << badRoom.Out;
}

TEST_F(Cli, LiveAnalysisOfTheVirtualInterface) {
  // The room hears its own output: a 1 kHz sine of amplitude 0.5 (-6 dB) arrives at -9.03 dB in its band.
  const TCliRun j = Run("rta --device \"Virtual interface\" --seconds 3 --json --signal sine --signal-level -6.0206 "
                     "--input 2",
                     "VEMRA_VIRTUAL_ROOM='noise=-90;tail=-99;latency=0'");
  ASSERT_EQ(j.ExitCode, 0) << j.Err;
  const auto doc = j.Json();
  EXPECT_NEAR(Band(doc, 1000)["level_db"].get<double>(), -9.03, 0.1);
  EXPECT_NEAR(doc["rms_db"].get<double>(), -9.03, 0.1);
  EXPECT_NEAR(doc["peak_db"].get<double>(), -9.03, 0.1);  // the highest of the once-a-second RMS values
  // Without a signal it hears its noise floor; the table shows one live line per second.
  const TCliRun t = Run("rta --device \"Virtual interface\" --seconds 3", "VEMRA_VIRTUAL_ROOM='noise=-60'");
  ASSERT_EQ(t.ExitCode, 0) << t.Err;
  int lines = 0;
  std::istringstream out(t.Out);
  for (std::string line; std::getline(out, line);) {
    double sec = 0, rms = 0;
    if (std::sscanf(line.c_str(), "%lf %lf", &sec, &rms) == 2 && line.find("Hz") == std::string::npos &&
        sec >= 0.5 && sec < 4.0 && line.size() > 40) {
      ++lines;
      EXPECT_NEAR(rms, -60.0, 1.0) << line;
    }
  }
  EXPECT_GE(lines, 2) << t.Out;
  EXPECT_NE(t.Out.find("RMS -60."), std::string::npos) << t.Out;
}
