// The local logo service on demand: started before a batch when nobody runs it.
//
// When the logo host is this machine (host part "localhost" or "127.0.0.1")
// and nothing accepts a connection on its port, the tool starts
// quillmark-logo-service from its own folder, detached in a session of its
// own (standard streams on /dev/null), bound to 127.0.0.1 and that port and
// told to end itself after a stretch without requests. It then waits until
// the service accepts connections. A service that already runs is used as it
// is, so two windows or two programs share one. Nothing here shows anything:
// a failure comes back as a value, and the caller decides how to say so.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "app/logo_batch.h"

namespace quillmark {

inline constexpr const char* kServiceProgramName = "quillmark-logo-service";

// The port of `host` ("name" or "name:port", as LogoService holds it) when its
// name is "localhost" or "127.0.0.1" (ASCII case ignored); 80 when it names
// no port. Nothing for any other name, for an empty host, and for a port that
// is not a decimal number from 1 to 65535.
std::optional<int> localServicePort(std::string_view host);

// True when something on 127.0.0.1:`port` accepts a TCP connection within
// `patience`. A refused or unreachable port is false at once. The connection
// is closed again without a byte sent.
bool acceptsConnections(int port, std::chrono::milliseconds patience = std::chrono::milliseconds(1000));

// How to start the service when it is needed.
struct ServiceLaunch {
  std::filesystem::path program;                        // the service program to run
  std::chrono::milliseconds wait{5000};                 // how long it may take to accept connections
  int idleSeconds = 600;                                // passed as --exit-when-idle
};

// The service program beside the running program (/proc/self/exe); a bare
// kServiceProgramName when the running program's folder cannot be found
// (which then fails to start, as a missing program does).
std::filesystem::path serviceBesideThisProgram();

struct ServiceCheck {
  enum class State {
    NotLocal,        // the host is not this machine's: nothing was checked or started
    AlreadyRunning,  // something accepted connections before anything was started
    Started,         // the service was started and accepted connections within the wait
    Failed,          // it had to be started and could not be: see `problem`
  };
  State state = State::NotLocal;
  // The process started (Started, or Failed when it never accepted and was
  // left running); 0 when none was.
  pid_t startedProcess = 0;
  // For Failed, in UTF-8 and in words: which program, and what went wrong
  // (missing, not executable, exited at once with its code, never accepted).
  std::string problem;

  bool failed() const noexcept { return state == State::Failed; }
};

// Makes sure the local logo service of `host` runs, as described at the top
// of this file. Never throws and never waits longer than `launch.wait` (plus
// the connection checks). Calls from several threads at once are taken one
// after the other, so one process starts at most one service per port at a
// time. A started process is reaped when it ends, so it never lingers as a
// zombie; the caller never has to wait for it.
ServiceCheck ensureLocalService(std::string_view host, const ServiceLaunch& launch);

// Receives, in UTF-8, why the local service could not be started.
using ServiceWarning = std::function<void(const std::string& textUtf8)>;

// One batch as both shipped programs run it: ensureLocalService for
// `service.host`; when that fails, `warn` is called once, with a text that
// names the host and the problem; then the batch runs whatever happened (its
// requests then fail and give empty files, as for any service that is down).
// Returns the batch's result.
LogoBatchResult runLogoBatchWithService(WindowOperations& window, const LogoService& service,
                                        const ServiceLaunch& launch, const ServiceWarning& warn);

}  // namespace quillmark
