// vemra-cli room: analyse, deconvolve, open and the microphone distance, run as a user runs them.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <random>
#include <unistd.h>

#include "CliRun.h"
#include "io/RoomProjectFile.h"
#include "io/SoundFile.h"
#include "room/uRT60Complete.h"

namespace fs = std::filesystem;

namespace {

constexpr int kFs = 48000;
constexpr double kLn1e6 = 13.815510557964274;  // 60 dB of energy decay = ln(10^6)

std::string Quote(const std::string& s) {
  std::string q = "'";
  for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return q + "'";
}

class RoomCli : public ::testing::Test {
protected:
  fs::path Dir;

  void SetUp() override {
    Dir = fs::temp_directory_path() /
          ("vemra_roomcli_" + std::to_string(::getpid()) + "_" +
           ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(Dir);
    fs::create_directories(Dir);
  }
  void TearDown() override { fs::remove_all(Dir); }

  static TCliRun Cli(const std::vector<std::string>& Args, const std::string& Env = "") {
    std::string args;
    for (const auto& a : Args) args += " " + Quote(a);
    return RunCli(args, Env);
  }

  nlohmann::json Json(const std::vector<std::string>& Args) const {
    const TCliRun r = Cli(Args);
    EXPECT_EQ(r.ExitCode, 0) << r.Err;
    return r.ExitCode == 0 ? nlohmann::json::parse(r.Out) : nlohmann::json();
  }

  std::string Wav(const std::string& Name, const std::vector<float>& Samples, int Rate = kFs) const {
    const fs::path p = Dir / Name;
    TSoundFile::WriteMonoFloatWav(p, Samples, Rate);
    return p.string();
  }
};

// White noise whose energy falls by 60 dB in T seconds, its first sample the largest.
std::vector<float> NoiseDecay(double T, double Seconds, unsigned Seed) {
  std::mt19937 gen(Seed);
  std::normal_distribution<double> n(0.0, 1.0);
  std::vector<float> ir(static_cast<std::size_t>(Seconds * kFs));
  for (std::size_t i = 0; i < ir.size(); ++i)
    ir[i] = static_cast<float>(n(gen) * std::exp(-kLn1e6 / 2 * static_cast<double>(i) / kFs / T));
  ir[0] = 5.0f;
  return ir;
}

// One cosine at each band centre, each with its own exponential envelope (T per band).
std::vector<float> TonesPerBand(const std::vector<float>& Centres, const std::vector<double>& T, double Seconds) {
  std::vector<float> ir(static_cast<std::size_t>(Seconds * kFs));
  for (std::size_t i = 0; i < ir.size(); ++i) {
    const double t = static_cast<double>(i) / kFs;
    double v = 0;
    for (std::size_t b = 0; b < Centres.size(); ++b)
      v += std::cos(2 * M_PI * Centres[b] * t) * std::exp(-kLn1e6 / 2 * t / T[b]);
    ir[i] = static_cast<float>(v / static_cast<double>(Centres.size()));
  }
  return ir;
}

}  // namespace

TEST_F(RoomCli, AnalyzeGivesKnownDecayTimes) {
  // Broadband: two noise decays of T = 0.6 s.
  const std::string a = Wav("a.wav", NoiseDecay(0.6, 2.0, 1));
  const std::string b = Wav("b.wav", NoiseDecay(0.6, 2.0, 2));
  const nlohmann::json j = Json({"room", "analyze", a, b, "--range", "0", "--json"});
  ASSERT_EQ(j["measurements"].size(), 2u);
  EXPECT_EQ(j["measurements"][0]["note"], "a.wav");
  for (const auto& m : j["measurements"]) {
    for (const char* k : {"T20", "T30", "EDT"}) EXPECT_NEAR(m["broadband"][k].get<double>(), 0.6, 0.6 * 0.02) << k;
    EXPECT_TRUE(m["broadband"]["T20_valid"].get<bool>());
  }
  EXPECT_NEAR(j["average"]["T20"].get<double>(), 0.6, 0.6 * 0.02);
  EXPECT_LT(j["average"]["T20_stddev"].get<double>(), 0.02);
  EXPECT_EQ(j["bands_hz"], nlohmann::json({125, 250, 500, 1000, 2000, 4000}));
  EXPECT_EQ(j["basis"], "T20");
  EXPECT_EQ(j["room_type"], "studio");
  // 0.6 s rates as "sounds pleasant", outside a studio's 0.15 ... 0.3 s; homogeneous.
  EXPECT_EQ(j["rating"]["texts"]["RT60"], "sounds pleasant");
  EXPECT_FALSE(j["rating"]["in_range"]["RT60"].get<bool>());
  EXPECT_TRUE(j["rating"]["homogeneous"].get<bool>());

  // Per band: a tone at each octave centre decaying with its own T, third-octave range 2 reads the
  // same values in the bands that hold the tones.
  TRTPipeline rt(kFs);
  const std::vector<float> centres = TRTPipeline::RT60_IECOctaveCenters_Default();
  const std::vector<double> T = {1.2, 1.0, 0.9, 0.8, 0.7, 0.6};
  const std::string tones = Wav("tones.wav", TonesPerBand(centres, T, 3.0));
  for (const char* range : {"0", "2"}) {
    const nlohmann::json k = Json({"room", "analyze", tones, "--range", range, "--basis", "T30", "--room", "concert", "--json"});
    EXPECT_EQ(k["basis"], "T30");
    EXPECT_EQ(k["room_type"], "concert");
    const auto& bands = k["measurements"][0]["bands"];
    for (std::size_t c = 0; c < centres.size(); ++c)
      for (const auto& band : bands)
        if (band["f"].get<double>() == centres[c]) {
          EXPECT_NEAR(band["T20"].get<double>(), T[c], T[c] * 0.03) << "range " << range << " " << centres[c];
          EXPECT_NEAR(band["T30"].get<double>(), T[c], T[c] * 0.03) << "range " << range << " " << centres[c];
        }
  }
}

TEST_F(RoomCli, AnalyzeTextOutput) {
  const TCliRun r = Cli({"room", "analyze", Wav("a.wav", NoiseDecay(0.5, 1.5, 3))});
  ASSERT_EQ(r.ExitCode, 0) << r.Err;
  EXPECT_NE(r.Out.find("Measurement 1: a.wav"), std::string::npos) << r.Out;
  EXPECT_NE(r.Out.find("Average of the selected measurements"), std::string::npos);
  EXPECT_NE(r.Out.find("Room character:"), std::string::npos);
}

TEST_F(RoomCli, BadInputFailsWithOneLine) {
  std::ofstream(Dir / "text.wav") << "not a sound";
  {
    const std::string whole = ReadFileText(Wav("whole.wav", NoiseDecay(0.5, 1.0, 1)));
    std::ofstream(Dir / "cut.wav", std::ios::binary) << whole.substr(0, whole.size() / 2);
  }
  struct Case {
    std::vector<std::string> Args;
    const char* Says;
  };
  const Case cases[] = {
      {{"room", "analyze", (Dir / "missing.wav").string()}, "not found"},
      {{"room", "analyze", (Dir / "text.wav").string()}, "not a sound file"},
      {{"room", "analyze", (Dir / "cut.wav").string()}, "cut short"},
      {{"room", "deconvolve", (Dir / "cut.wav").string(), "--start", "80", "--stop", "6000", "--seconds", "1"},
       "cut short"},
      {{"room", "analyze", Wav("rate.wav", NoiseDecay(0.5, 1.0, 1), 44100)}, "44100"},
      {{"room", "analyze", Wav("silent.wav", std::vector<float>(48000, 0.0f))}, "no usable impulse response"},
      {{"room", "analyze", Wav("short.wav", std::vector<float>{1.0f, 0.5f, 0.2f})}, "no usable impulse response"},
      {{"room", "deconvolve", Wav("silent2.wav", std::vector<float>(96000, 0.0f)), "--start", "80", "--stop", "6000",
        "--seconds", "1"},
       "no usable impulse response"},
      {{"room", "open", (Dir / "missing.vmR6").string()}, "not found"},
      {{"room", "open", (Dir / "text.wav").string()}, "File version wrong / no RT60 data"},
  };
  for (const Case& c : cases) {
    const TCliRun r = Cli(c.Args);
    EXPECT_EQ(r.ExitCode, 1) << c.Args[2];
    EXPECT_NE(r.Err.find(c.Says), std::string::npos) << r.Err;
    EXPECT_EQ(std::count(r.Err.begin(), r.Err.end(), '\n'), 1) << r.Err;
    EXPECT_TRUE(r.Out.empty()) << r.Out;
  }
  // Bad usage: exit 2.
  EXPECT_EQ(Cli({"room", "analyze", "x.wav", "--range", "4"}).ExitCode, 2);
  EXPECT_EQ(Cli({"room", "analyze", "x.wav", "--basis", "T25"}).ExitCode, 2);
  EXPECT_EQ(Cli({"room", "deconvolve", "x.wav", "--start", "0", "--stop", "6000", "--seconds", "1"}).ExitCode, 2);
  EXPECT_EQ(Cli({"room", "deconvolve", "x.wav", "--start", "80", "--stop", "inf", "--seconds", "1"}).ExitCode, 2);
  for (const char* bad : {"nan", "inf", "1e39"})
    EXPECT_EQ(Cli({"room", "micdistance", "--width", bad, "--depth", "5", "--height", "3", "--rt60", "1"}).ExitCode, 2) << bad;
}

TEST_F(RoomCli, DeconvolveRecoversTheRoom) {
  // A recording of a 1 s sweep through a room of T = 0.4 s, starting one 512-sample block before the sweep.
  TRTPipeline rt(kFs);
  const TSweepBuffer sweep = rt.GenerateLogSweep_RTA(80, 6000, 1.0f);
  const std::vector<float> room = NoiseDecay(0.4, 0.5, 5);
  std::vector<float> played(2 * sweep->size(), 0.0f);
  std::copy(sweep->begin(), sweep->end(), played.begin() + 512);
  const std::vector<float> rec = rt.ConvolveFFT(played, room);
  const std::string out = (Dir / "ir.wav").string();
  const nlohmann::json j =
      Json({"room", "deconvolve", Wav("rec.wav", rec), "--start", "80", "--stop", "6000", "--seconds", "1", "--out", out, "--json"});
  EXPECT_EQ(j["sample_rate"], kFs);
  const TSoundFile ir = TSoundFile::Read(out);
  EXPECT_EQ(ir.Frames(), j["samples"].get<std::size_t>());
  EXPECT_GT(ir.Frames(), 4800u);
  EXPECT_EQ(std::fabs(ir.Channels[0][0]), 1.0f);  // from its peak, normalised
  // The recovered response decays like the room itself, band by band.
  const nlohmann::json a = Json({"room", "analyze", out, "--json"});
  const nlohmann::json truth = Json({"room", "analyze", Wav("room.wav", room), "--json"});
  EXPECT_NEAR(a["measurements"][0]["broadband"]["T20"].get<double>(), 0.4, 0.4 * 0.05);
  const auto& got = a["measurements"][0]["bands"];
  const auto& want = truth["measurements"][0]["bands"];
  ASSERT_EQ(got.size(), want.size());
  for (std::size_t b = 0; b < got.size(); ++b) {
    EXPECT_NEAR(got[b]["T20"].get<double>(), want[b]["T20"].get<double>(), want[b]["T20"].get<double>() * 0.06)
        << got[b]["f"];
  }
}

TEST_F(RoomCli, OpenReanalysesAProject) {
  tReportData d;
  d.iAnzahlEinträge = 3;
  d.iRoomtype = 5;  // classroom
  d.stKommentar = {"a", "x;y", ""};
  d.data = {NoiseDecay(0.5, 1.5, 1), NoiseDecay(0.5, 1.5, 2), NoiseDecay(0.5, 1.5, 3)};
  d.stProjektData = {"front; back;RT60(s);2,1,"};
  WriteRoomProject(Dir / "p.vmR6", d);
  const nlohmann::json j = Json({"room", "open", (Dir / "p.vmR6").string(), "--range", "1", "--json"});
  ASSERT_EQ(j["measurements"].size(), 3u);
  EXPECT_EQ(j["measurements"][0]["note"], "a");
  EXPECT_EQ(j["measurements"][1]["note"], "x;y");
  EXPECT_EQ(j["measurements"][2]["note"], "");
  EXPECT_EQ(j["room_type"], "classroom");
  EXPECT_EQ(j["bands_hz"].size(), 8u);
  EXPECT_NEAR(j["average"]["T20"].get<double>(), 0.5, 0.5 * 0.02);

  // Another format version: the one line, exit 1.
  std::string bytes = ReadFileText(Dir / "p.vmR6");
  bytes[0] = 2;
  std::ofstream(Dir / "v2.vmR6", std::ios::binary) << bytes;
  const TCliRun r = Cli({"room", "open", (Dir / "v2.vmR6").string()});
  EXPECT_EQ(r.ExitCode, 1);
  EXPECT_NE(r.Err.find("File version wrong / no RT60 data " + (Dir / "v2.vmR6").string()), std::string::npos) << r.Err;
}

TEST_F(RoomCli, MicDistance) {
  const TCliRun r = Cli({"room", "micdistance", "--width", "2", "--depth", "5", "--height", "3", "--rt60", "0.5"});
  ASSERT_EQ(r.ExitCode, 0) << r.Err;
  EXPECT_NE(r.Out.find("Min distance mic to loudspeaker: 0.66m"), std::string::npos) << r.Out;
  const nlohmann::json j = Json({"room", "micdistance", "--width", "2", "--depth", "5", "--height", "3", "--rt60", "0", "--json"});
  EXPECT_EQ(j["min_distance_m"].get<double>(), 0.0);
}

TEST_F(RoomCli, MeasureOnTheVirtualInterface) {
  const std::string project = (Dir / "m.vmR6").string(), csv = (Dir / "m.csv").string();
  const std::string irDir = (Dir / "irs").string();
  const TCliRun r = Cli({"room", "measure", "--positions", "3", "--project", project, "--csv", csv, "--ir-dir", irDir,
                      "--json"},
                     "VEMRA_VIRTUAL_ROOM='rt60=0.8'");
  ASSERT_EQ(r.ExitCode, 0) << r.Err;
  const nlohmann::json j = nlohmann::json::parse(r.Out);
  ASSERT_EQ(j["measurements"].size(), 3u);
  for (const auto& band : j["average"]["bands"]) {
    const double f = band["f"].get<double>(), t20 = band["T20"].get<double>();
    if (f >= 1000) {
      EXPECT_NEAR(t20, 0.8, 0.8 * 0.05) << f;
    } else if (f >= 250) {
      EXPECT_NEAR(t20, 0.8, 0.8 * 0.08) << f;
    }
  }
  EXPECT_NEAR(j["average"]["T20"].get<double>(), 0.8, 0.8 * 0.05);
  EXPECT_NE(r.Err.find("Position 3/3: 100 % recorded"), std::string::npos) << r.Err;
  EXPECT_EQ(r.Err.find("Delta"), std::string::npos) << r.Err;

  // The files: three responses, the list with the average row, the project that reopens to the same values.
  for (int k = 1; k <= 3; ++k) EXPECT_TRUE(fs::exists(Dir / "irs" / ("ir_" + std::to_string(k) + ".wav"))) << k;
  const std::string text = ReadFileText(csv);
  EXPECT_EQ(text.rfind("\xEF\xBB\xBF#;RT60(s);EDT(s);C50(dB);C80(dB);ts(ms);Note\r\n \xC3\x98 ;", 0), 0u) << text;
  EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 5);
  const nlohmann::json reopened = Json({"room", "open", project, "--json"});
  EXPECT_EQ(reopened["average"], j["average"]);
  EXPECT_EQ(reopened["measurements"][2]["note"], "Room A MicIn:1");

  // A room whose octaves decay differently reads so band by band.
  const TCliRun bands = Cli({"room", "measure", "--positions", "3", "--json"},
                         "VEMRA_VIRTUAL_ROOM='rt60=0.8;rt60_2000=0.5;rt60_4000=0.4'");
  ASSERT_EQ(bands.ExitCode, 0) << bands.Err;
  const nlohmann::json bj = nlohmann::json::parse(bands.Out);
  const auto& avg = bj["average"]["bands"];
  EXPECT_NEAR(avg[4]["T20"].get<double>(), 0.5, 0.5 * 0.08);
  EXPECT_NEAR(avg[5]["T20"].get<double>(), 0.4, 0.4 * 0.08);
  EXPECT_NEAR(avg[3]["T20"].get<double>(), 0.8, 0.8 * 0.05);
}

TEST_F(RoomCli, MeasureRefusesATooSmallLevelRange) {
  const std::string project = (Dir / "m.vmR6").string();
  for (const char* basis : {"T20", "T30"}) {
    const TCliRun r = Cli({"room", "measure", "--basis", basis, "--project", project},
                       "VEMRA_VIRTUAL_ROOM='rt60=0.8;noise=-25'");
    EXPECT_EQ(r.ExitCode, 1);
    const std::string warning =
        "vemra-cli: Delta = (Signal - Noise floor) to low. Or wrong audio interface input selected. RT60 measurement "
        "ignored!, Delta(dB)=  ";
    EXPECT_EQ(r.Err.find(warning), r.Err.rfind('\n', r.Err.size() - 2) + 1) << r.Err;
    EXPECT_NE(r.Err.find(std::string(" <") + (basis[1] == '2' ? "30" : "40") + ">\n"), std::string::npos) << r.Err;
    EXPECT_TRUE(r.Out.empty());
    EXPECT_FALSE(fs::exists(project));
  }
  // Unknown interface or input: one line, exit 1.
  EXPECT_EQ(Cli({"room", "measure", "--device", "no such interface"}).ExitCode, 1);
  EXPECT_EQ(Cli({"room", "measure", "--input", "9"}).ExitCode, 1);
}
