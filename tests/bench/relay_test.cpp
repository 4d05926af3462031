// talvenor-relay against a unix socket of the test's own: what one side sends
// reaches the other in order, never sooner than half the added round trip, and
// the relay counts one round trip per request answered.
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

std::string ReadSome(int fd) {
  char buffer[256];
  const ssize_t n = read(fd, buffer, sizeof buffer);
  return n > 0 ? std::string(buffer, static_cast<std::size_t>(n)) : std::string();
}

double MsSince(Clock::time_point start) {
  return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

TEST(Relay, DelaysEachDirectionInOrderAndCountsRoundTrips) {
  char folder[] = "/tmp/talvenor-relay-test.XXXXXX";
  ASSERT_NE(mkdtemp(folder), nullptr);
  const std::string socket_path = std::string(folder) + "/server.sock";
  const std::string stats_path = std::string(folder) + "/stats.txt";
  const int listener = socket(AF_UNIX, SOCK_STREAM, 0);
  sockaddr_un unix_address{};
  unix_address.sun_family = AF_UNIX;
  std::snprintf(unix_address.sun_path, sizeof unix_address.sun_path, "%s", socket_path.c_str());
  ASSERT_EQ(bind(listener, reinterpret_cast<sockaddr*>(&unix_address), sizeof unix_address), 0);
  ASSERT_EQ(listen(listener, 1), 0);

  int out[2];
  ASSERT_EQ(pipe(out), 0);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
  posix_spawn_file_actions_addclose(&actions, out[0]);
  std::string args[] = {TALVENOR_RELAY, "--to", socket_path, "--delay-ms", "40",
                        "--seconds",    "30",   "--stats",   stats_path};
  char* argv[] = {args[0].data(), args[1].data(), args[2].data(), args[3].data(), args[4].data(),
                  args[5].data(), args[6].data(), args[7].data(), args[8].data(), nullptr};
  pid_t relay = 0;
  ASSERT_EQ(posix_spawn(&relay, TALVENOR_RELAY, &actions, nullptr, argv, environ), 0);
  posix_spawn_file_actions_destroy(&actions);
  close(out[1]);
  FILE* relay_out = fdopen(out[0], "r");
  int port = 0;
  ASSERT_EQ(std::fscanf(relay_out, "port %d", &port), 1);

  const int client = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in tcp_address{};
  tcp_address.sin_family = AF_INET;
  tcp_address.sin_port = htons(static_cast<uint16_t>(port));
  tcp_address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ASSERT_EQ(connect(client, reinterpret_cast<sockaddr*>(&tcp_address), sizeof tcp_address), 0);
  const int server = accept(listener, nullptr, nullptr);
  ASSERT_GE(server, 0);

  for (const char* request : {"first", "second"}) {
    SCOPED_TRACE(request);
    const auto sent = Clock::now();
    ASSERT_EQ(write(client, request, 3), 3);  // in two chunks: order must hold
    ASSERT_EQ(write(client, request + 3, 2), 2);
    std::string got;
    while (got.size() < 5) got += ReadSome(server);
    EXPECT_GE(MsSince(sent), 20.0);
    EXPECT_EQ(got, std::string(request, 5));
    ASSERT_EQ(write(server, "ok", 2), 2);
    EXPECT_EQ(ReadSome(client), "ok");
    EXPECT_GE(MsSince(sent), 40.0);
  }
  close(client);
  EXPECT_EQ(ReadSome(server), "");  // the end of the client's data is passed on

  kill(relay, SIGTERM);
  int status = 0;
  ASSERT_EQ(waitpid(relay, &status, 0), relay);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  std::fclose(relay_out);
  std::ifstream stats(stats_path);
  std::stringstream text;
  text << stats.rdbuf();
  EXPECT_NE(text.str().find("round_trips 2\n"), std::string::npos) << text.str();
  EXPECT_NE(text.str().find("client_bytes 10\n"), std::string::npos) << text.str();
  close(server);
  close(listener);
  std::filesystem::remove_all(folder);
}

}  // namespace
