// talvenor-relay: a TCP port on 127.0.0.1 forwarded to a PostgreSQL unix socket
// with an added round-trip time, so that the benchmark can show what a server one
// or ten milliseconds away costs the import.
//
//   talvenor-relay --to SOCKET [--port N] [--delay-ms MS] [--seconds S] [--stats FILE]
//
// It prints "port N" on its first line of output once it listens (N is the port
// the system chose when --port is 0, the default). Every chunk of data read from
// either side is written to the other side MS/2 milliseconds later, in the order
// read; a queue of due times per direction does this, so a chunk waiting in one
// direction never holds up the other. It stops after S seconds (default 600) or
// on SIGTERM or SIGINT, and then writes its counts to FILE (default: standard
// error), one "name value" a line:
//   connections    connections accepted
//   client_chunks  chunks forwarded to the server
//   server_chunks  chunks forwarded to the client
//   round_trips    client chunks that followed a server chunk (or opened the
//                  connection): the times the client waited for an answer
//   client_bytes, server_bytes
// It only ever listens on 127.0.0.1 and connects to the given socket path.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <deque>
#include <list>
#include <string>
#include <string_view>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

// A connection's queue stops taking data at this size until the other side reads.
constexpr std::size_t kQueueLimit = std::size_t{4} << 20;
constexpr std::size_t kReadSize = 64 * 1024;
constexpr std::size_t kMaxLinks = 32;

volatile sig_atomic_t stop_requested = 0;
void RequestStop(int) { stop_requested = 1; }

struct Counts {
  long long connections = 0, client_chunks = 0, server_chunks = 0, round_trips = 0;
  long long client_bytes = 0, server_bytes = 0;
};

struct Chunk {
  Clock::time_point due;
  std::string bytes;
  std::size_t sent = 0;
};

// One direction of a connection: what was read from `from` and waits to be
// written to `to`.
struct Direction {
  int from = -1, to = -1;
  std::deque<Chunk> queue;
  std::size_t queued_bytes = 0;
  bool from_closed = false;  // end of data read; passed on once the queue is empty
  bool to_shut = false;
};

struct Link {
  Direction up, down;  // client to server, server to client
  bool server_spoke_last = true;
  bool failed = false;
  bool Done() const { return failed || (up.to_shut && down.to_shut); }
};

struct Options {
  std::string socket_path, stats_path;
  int port = 0;
  double delay_ms = 0;
  double seconds = 600;
};

int Usage(const char* why) {
  std::fprintf(stderr,
               "talvenor-relay: %s\nusage: talvenor-relay --to SOCKET [--port N] "
               "[--delay-ms MS] [--seconds S] [--stats FILE]\n",
               why);
  return 64;
}

bool ParseNumber(std::string_view text, double low, double high, double& out) {
  const auto end = text.data() + text.size();
  auto [ptr, ec] = std::from_chars(text.data(), end, out);
  return ec == std::errc{} && ptr == end && out >= low && out <= high;
}

// Returns 0 when the arguments are usable, else the exit status.
int ParseOptions(int argc, char** argv, Options& options) {
  for (int i = 1; i < argc; i += 2) {
    const std::string_view name = argv[i];
    if (i + 1 >= argc) return Usage("an option lacks its value");
    const std::string_view value = argv[i + 1];
    double number = 0;
    if (name == "--to") {
      options.socket_path = value;
    } else if (name == "--stats") {
      options.stats_path = value;
    } else if (name == "--port") {
      if (!ParseNumber(value, 0, 65535, number)) return Usage("--port takes 0 to 65535");
      options.port = static_cast<int>(number);
    } else if (name == "--delay-ms") {
      if (!ParseNumber(value, 0, 10000, options.delay_ms))
        return Usage("--delay-ms takes 0 to 10000");
    } else if (name == "--seconds") {
      if (!ParseNumber(value, 0.1, 86400, options.seconds))
        return Usage("--seconds takes 0.1 to 86400");
    } else {
      return Usage("unknown option");
    }
  }
  if (options.socket_path.empty()) return Usage("--to SOCKET is required");
  if (options.socket_path.size() >= sizeof(sockaddr_un{}.sun_path)) {
    return Usage("the socket path is too long");
  }
  return 0;
}

bool SetNonBlocking(int fd) {
  const int flags = fcntl(fd, F_GETFL);
  return flags >= 0 && fcntl(fd, F_SETFL, flags | O_NONBLOCK) == 0;
}

int Listen(int port) {
  const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return -1;
  const int one = 1;
  setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<uint16_t>(port));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || listen(fd, 16) != 0 ||
      !SetNonBlocking(fd)) {
    close(fd);
    return -1;
  }
  return fd;
}

int ListeningPort(int fd) {
  sockaddr_in address{};
  socklen_t size = sizeof address;
  if (getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size) != 0) return -1;
  return ntohs(address.sin_port);
}

int ConnectUnix(const std::string& path) {
  const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return -1;
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
  if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      !SetNonBlocking(fd)) {
    close(fd);
    return -1;
  }
  return fd;
}

// Writes the chunks of `d` that are due. False when the receiving side failed.
bool Flush(Direction& d, Clock::time_point now) {
  while (!d.queue.empty() && d.queue.front().due <= now) {
    Chunk& chunk = d.queue.front();
    const ssize_t n =
        send(d.to, chunk.bytes.data() + chunk.sent, chunk.bytes.size() - chunk.sent, MSG_NOSIGNAL);
    if (n < 0) return errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR;
    chunk.sent += static_cast<std::size_t>(n);
    if (chunk.sent < chunk.bytes.size()) return true;  // the rest when it can take more
    d.queued_bytes -= chunk.bytes.size();
    d.queue.pop_front();
  }
  if (d.queue.empty() && d.from_closed && !d.to_shut) {
    shutdown(d.to, SHUT_WR);
    d.to_shut = true;
  }
  return true;
}

// Reads what `d.from` has and queues it for `due`. Returns the bytes queued,
// 0 at the end of its data or when nothing was there after all, -1 on an error.
ssize_t Take(Direction& d, Clock::time_point due) {
  std::string buffer(kReadSize, '\0');
  const ssize_t n = recv(d.from, buffer.data(), buffer.size(), 0);
  if (n < 0) return errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR ? 0 : -1;
  if (n == 0) {
    d.from_closed = true;
    return 0;
  }
  buffer.resize(static_cast<std::size_t>(n));
  d.queued_bytes += buffer.size();
  d.queue.push_back({due, std::move(buffer), 0});
  return n;
}

// Reads one direction of `link` and counts what it forwards.
void Read(Link& link, Direction& d, Clock::time_point due, Counts& counts) {
  const ssize_t n = Take(d, due);
  if (n < 0) link.failed = true;
  if (n <= 0) return;
  const bool upward = &d == &link.up;
  if (upward) {
    ++counts.client_chunks;
    counts.client_bytes += n;
    if (link.server_spoke_last) ++counts.round_trips;
  } else {
    ++counts.server_chunks;
    counts.server_bytes += n;
  }
  link.server_spoke_last = !upward;
}

void CloseLink(Link& link) {
  close(link.up.from);
  close(link.up.to);
}

void WriteCounts(const Counts& c, const std::string& path) {
  FILE* out = path.empty() ? stderr : std::fopen(path.c_str(), "w");
  if (out == nullptr) {
    std::fprintf(stderr, "talvenor-relay: cannot write %s: %s\n", path.c_str(),
                 std::strerror(errno));
    out = stderr;
  }
  std::fprintf(out,
               "connections %lld\nclient_chunks %lld\nserver_chunks %lld\nround_trips %lld\n"
               "client_bytes %lld\nserver_bytes %lld\n",
               c.connections, c.client_chunks, c.server_chunks, c.round_trips, c.client_bytes,
               c.server_bytes);
  if (out != stderr) std::fclose(out);
}

void Accept(int listener, const Options& options, std::list<Link>& links, Counts& counts) {
  const int client = accept4(listener, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
  if (client < 0) return;
  const int server = ConnectUnix(options.socket_path);
  if (server < 0) {
    std::fprintf(stderr, "talvenor-relay: cannot connect to %s: %s\n", options.socket_path.c_str(),
                 std::strerror(errno));
    close(client);
    return;
  }
  const int one = 1;
  setsockopt(client, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
  Link& link = links.emplace_back();
  link.up.from = link.down.to = client;
  link.up.to = link.down.from = server;
  ++counts.connections;
}

// Forwards until the time is up or a stop signal arrives.
void Relay(int listener, const Options& options, Counts& counts) {
  const auto half = std::chrono::duration_cast<Clock::duration>(
      std::chrono::duration<double, std::milli>(options.delay_ms / 2));
  const auto end = Clock::now() + std::chrono::duration_cast<Clock::duration>(
                                      std::chrono::duration<double>(options.seconds));
  std::list<Link> links;
  sigset_t waiting;  // the mask while in ppoll: the stop signals get through
  sigprocmask(SIG_BLOCK, nullptr, &waiting);
  sigdelset(&waiting, SIGTERM);
  sigdelset(&waiting, SIGINT);

  // What each polled descriptor is: the listener (no link), a side to read
  // (reads set) or a side to write once it can take more (reads null).
  struct Watch {
    Link* link = nullptr;
    Direction* reads = nullptr;
  };
  std::vector<pollfd> fds;
  std::vector<Watch> watches;
  while (stop_requested == 0) {
    auto now = Clock::now();
    if (now >= end) break;
    auto wake = end;
    for (auto it = links.begin(); it != links.end();) {
      for (Direction* d : {&it->up, &it->down}) {
        if (!Flush(*d, now)) it->failed = true;
        if (!d->queue.empty() && d->queue.front().due > now) {
          wake = std::min(wake, d->queue.front().due);
        }
      }
      if (it->Done()) {
        CloseLink(*it);
        it = links.erase(it);
      } else {
        ++it;
      }
    }

    fds.clear();
    watches.clear();
    if (links.size() < kMaxLinks) {
      fds.push_back({listener, POLLIN, 0});
      watches.push_back({});
    }
    for (Link& link : links) {
      for (Direction* d : {&link.up, &link.down}) {
        if (!d->from_closed && d->queued_bytes < kQueueLimit) {
          fds.push_back({d->from, POLLIN, 0});
          watches.push_back({&link, d});
        }
        // A due chunk still queued after Flush: the receiver is full for now.
        if (!d->queue.empty() && d->queue.front().due <= now) {
          fds.push_back({d->to, POLLOUT, 0});
          watches.push_back({&link, nullptr});
        }
      }
    }
    const auto wait = std::chrono::duration_cast<std::chrono::nanoseconds>(wake - now).count();
    const timespec timeout{static_cast<time_t>(wait / 1000000000),
                           static_cast<long>(wait % 1000000000)};
    if (ppoll(fds.data(), fds.size(), &timeout, &waiting) <= 0) continue;  // a timer or a signal

    now = Clock::now();
    for (std::size_t i = 0; i < fds.size(); ++i) {
      const Watch& watch = watches[i];
      if (fds[i].revents == 0) continue;
      if (watch.link == nullptr) {
        Accept(listener, options, links, counts);
      } else if (watch.reads != nullptr) {
        Read(*watch.link, *watch.reads, now + half, counts);
      }
    }
  }
  for (Link& link : links) CloseLink(link);
}

}  // namespace

int main(int argc, char** argv) {
  Options options;
  if (const int status = ParseOptions(argc, argv, options); status != 0) return status;

  struct sigaction action {};
  action.sa_handler = RequestStop;
  sigaction(SIGTERM, &action, nullptr);
  sigaction(SIGINT, &action, nullptr);
  sigset_t stop_signals;
  sigemptyset(&stop_signals);
  sigaddset(&stop_signals, SIGTERM);
  sigaddset(&stop_signals, SIGINT);
  sigprocmask(SIG_BLOCK, &stop_signals, nullptr);  // let through only while waiting

  const int listener = Listen(options.port);
  if (listener < 0) {
    std::fprintf(stderr, "talvenor-relay: cannot listen on 127.0.0.1:%d: %s\n", options.port,
                 std::strerror(errno));
    return 69;
  }
  std::printf("port %d\n", ListeningPort(listener));
  std::fflush(stdout);

  Counts counts;
  Relay(listener, options, counts);
  close(listener);
  WriteCounts(counts, options.stats_path);
  return 0;
}
