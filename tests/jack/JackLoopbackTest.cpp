// The audio host against a real JACK server: a private `jackd -d dummy` started and stopped by the test,
// Vemra's output 1 wired to its input 1 with jack_connect, a 1 kHz sine at -6 dB through the block handler.
#include "audio/TASIOHost.h"
#include "audio/TAudioDispatcher.h"
#include "dsp/LevelFactor.h"

#include <gtest/gtest.h>
#include <jack/jack.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace {

using namespace std::chrono_literals;

std::string FindProgram(const std::string& Name) {
  const char* path = std::getenv("PATH");
  std::stringstream dirs(path ? path : "/usr/bin:/bin");
  for (std::string dir; std::getline(dirs, dir, ':');) {
    const std::string p = dir + "/" + Name;
    if (::access(p.c_str(), X_OK) == 0) return p;
  }
  return {};
}

// A JACK server of its own (unique name, so parallel runs do not meet), stopped by its PID.
class JackServer {
public:
  ~JackServer() { Stop(); }

  // Empty on success, else why it failed.
  std::string Start() {
    const std::string jackd = FindProgram("jackd");
    Name = "vemra-test-" + std::to_string(::getpid()) + "-" + std::to_string(++Counter);
    Log = std::filesystem::temp_directory_path() / (Name + ".log");
    std::vector<std::string> args{jackd, "--no-mlock", "-n", Name, "-d", "dummy", "-r", "48000", "-p", "1024"};
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    ::setenv("JACK_NO_AUDIO_RESERVATION", "1", 1);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, Log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    const int rc = posix_spawn(&Pid, jackd.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) return "jackd could not be started";
    // The probes below fail until the server is up; libjack would say so on every try.
    jack_set_error_function([](const char*) {});
    jack_set_info_function([](const char*) {});
    // Every JACK client of this process (RtAudio's included) goes to this server.
    ::setenv("JACK_DEFAULT_SERVER", Name.c_str(), 1);
    const auto until = std::chrono::steady_clock::now() + 15s;
    while (std::chrono::steady_clock::now() < until) {
      int status = 0;
      if (::waitpid(Pid, &status, WNOHANG) == Pid) {
        Pid = -1;
        return "jackd ended at once:\n" + ReadLog();
      }
      jack_status_t st{};
      if (jack_client_t* c = jack_client_open("vemra-test-probe", JackNoStartServer, &st)) {
        jack_client_close(c);
        return {};
      }
      std::this_thread::sleep_for(50ms);
    }
    return "jackd did not come up within 15 s:\n" + ReadLog();
  }

  void Stop() {
    if (Pid <= 0) return;
    ::kill(Pid, SIGTERM);
    for (int i = 0; i < 100; ++i) {
      if (::waitpid(Pid, nullptr, WNOHANG) == Pid) {
        Pid = -1;
        break;
      }
      std::this_thread::sleep_for(50ms);
    }
    if (Pid > 0) {
      ::kill(Pid, SIGKILL);
      ::waitpid(Pid, nullptr, 0);
      Pid = -1;
    }
    std::filesystem::remove(Log);
  }

  std::string ReadLog() const {
    std::ifstream f(Log);
    std::stringstream s;
    s << f.rdbuf();
    return s.str();
  }

  std::string Name;

private:
  pid_t Pid = -1;
  std::filesystem::path Log;
  static inline int Counter = 0;
};

// Port names of the client whose name starts with Client, of the given direction.
std::vector<std::string> Ports(const std::string& Client, unsigned long Flags) {
  std::vector<std::string> names;
  jack_status_t st{};
  jack_client_t* c = jack_client_open("vemra-test-ports", JackNoStartServer, &st);
  if (c == nullptr) return names;
  if (const char** ports = jack_get_ports(c, ("^" + Client).c_str(), nullptr, Flags)) {
    for (const char** p = ports; *p; ++p) names.emplace_back(*p);
    jack_free(ports);
  }
  jack_client_close(c);
  return names;
}

class JackHost : public ::testing::Test {
protected:
  void SetUp() override {
    if (FindProgram("jackd").empty()) {
      GTEST_SKIP() << "jackd is not installed (scripts/install-deps installs the package jackd2)";
    }
    const std::string failure = Server.Start();
    ASSERT_TRUE(failure.empty()) << failure;
    Host = std::make_unique<TASIOHost>();
    const auto& list = Host->DriverList();
    for (int i = 0; i < static_cast<int>(list.size()); ++i) {
      if (list[static_cast<std::size_t>(i)].rfind("JACK: ", 0) == 0 && Index < 0) Index = i;
    }
    ASSERT_GE(Index, 1) << "no JACK device in the driver list";
    EXPECT_EQ(list[0], "Virtual interface");
  }
  void TearDown() override {
    Host.reset();
    Server.Stop();
  }

  JackServer Server;
  std::unique_ptr<TASIOHost> Host;
  int Index = -1;
};

}  // namespace

TEST_F(JackHost, SineLoopsFromOutputOneToInputOne) {
  Host->SetDriverIndex(Index);
  EXPECT_EQ(Host->BufferSize(), 1024);
  EXPECT_EQ(Host->CanSampleRate(48000), 0);
  EXPECT_NE(Host->CanSampleRate(44100), 0);
  EXPECT_EQ(Host->SupportedSampleRates(), std::vector<int>{48000});
  ASSERT_GE(Host->InputChannelCount(), 1);
  ASSERT_GE(Host->OutputChannelCount(), 1);
  Host->SetSampleRate(48000);
  Host->OpenDriver();
  ASSERT_EQ(Host->BufferSize(), 1024);

  std::atomic<std::int32_t> signal{0};
  TAudioDispatcher d(signal);
  d.AttachTo(*Host);
  d.CreateEngines(48000.0f, 3, twFast);
  d.PrepareBuffers(Host->BufferSize(), Host->InputChannelCount(), 48000.0f, -120.0f);
  for (auto& e : d.RTAEngineIEC1) e->SetWeigthing(fwZ, Host->BufferSize());
  d.FSine.SetFrequency(1000);
  d.dbAmpPink = LevelToFactor(-6.0206);
  signal = 2;
  d.BandDataRequested = true;
  Host->SetActive(true);

  const auto outs = Ports("Vemra", JackPortIsOutput);
  const auto ins = Ports("Vemra", JackPortIsInput);
  ASSERT_FALSE(outs.empty());
  ASSERT_FALSE(ins.empty());
  const std::string connect = FindProgram("jack_connect");
  ASSERT_FALSE(connect.empty()) << "jack_connect is missing";
  const std::string cmd = connect + " '" + outs.front() + "' '" + ins.front() + "'";
  ASSERT_EQ(std::system(cmd.c_str()), 0) << cmd;

  // Let a second of sound pass through the wire, reading frames as the display does.
  const std::uint64_t from = d.BlockCount();
  float band1k = -200.0f;
  const auto until = std::chrono::steady_clock::now() + 20s;
  while (std::chrono::steady_clock::now() < until && d.BlockCount() < from + 60) {
    d.Messages.WaitForMessages(100);
    d.Messages.AcknowledgeWakeup();
    while (auto m = d.Messages.Pop()) {
      if (m->Msg == WM_BANDLEVELS_READY) {
        band1k = d.BandLevels[0][17];
        d.BandDataRequested.store(true, std::memory_order_release);
      }
    }
  }
  const float peak = d.InputPeaks[0].load();
  EXPECT_TRUE(Host->StreamError().empty()) << Host->StreamError();
  Host->SetActive(false);
  Host->CloseDriver();
  ASSERT_GE(d.BlockCount(), from + 60) << "JACK stopped calling";
  EXPECT_EQ(d.BandCentres[17], 1000.0f);
  EXPECT_NEAR(peak, 0.5f, 0.01f);
  EXPECT_NEAR(band1k, -9.03f, 0.3f);  // amplitude 0.5: mean square 0.125
}

TEST_F(JackHost, ServerGoingAwayIsReportedAndNothingHangs) {
  Host->SetDriverIndex(Index);
  std::atomic<int> blocks{0};
  Host->OnBufferSwitch32 = [&](TASIOHost&, std::span<const float* const>, std::span<float* const> out, int n) {
    for (float* o : out) std::fill(o, o + n, 0.0f);
    blocks.fetch_add(1);
  };
  Host->SetActive(true);
  const auto until = std::chrono::steady_clock::now() + 10s;
  while (blocks.load() < 5 && std::chrono::steady_clock::now() < until) std::this_thread::sleep_for(10ms);
  ASSERT_GE(blocks.load(), 5);

  Server.Stop();
  const auto deadline = std::chrono::steady_clock::now() + 10s;
  while (Host->StreamError().empty() && std::chrono::steady_clock::now() < deadline) std::this_thread::sleep_for(20ms);
  EXPECT_FALSE(Host->StreamError().empty()) << "the lost server went unnoticed";
  EXPECT_TRUE(Host->Active());  // the program decides when to stop
  Host->SetActive(false);
  Host->CloseDriver();
  try {
    Host->OpenDriver();
    FAIL() << "opened without a server";
  } catch (const TASIOHostError& e) {
    EXPECT_NE(std::string(e.what()).find("JACK"), std::string::npos) << e.what();
  }
}
