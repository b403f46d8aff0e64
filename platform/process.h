// Processes and shell-open. Every child is started from an argument vector, never
// through a shell.
#pragma once

#include <string>
#include <vector>

namespace platform {

// Starts `argv[0]` (a path) with the arguments, detached from this process (own
// session, standard streams on /dev/null unless `keepStdio`). Returns the pid or -1.
int StartDetached(const std::vector<std::string>& argv, bool keepStdio = false);
// The same, with the program started in `workingDir` (empty: this process's). A bare
// program name (no "/") is looked up in PATH. The pid is returned only once the exec
// succeeded; a missing program or a failed chdir gives -1.
int StartDetached(const std::vector<std::string>& argv, bool keepStdio,
                  const std::string& workingDir);

// Starts a new copy of this executable with the arguments (none by default), detached.
bool StartSelfDetached(const std::vector<std::string>& args = {});

// Runs a program to completion, returning its exit code (-1 when it cannot start).
// `timeoutMs` of 0 waits forever; on time-out the child is killed and -1 returned.
// A child ended by a signal gives 128 plus the signal number, as shells report it. With
// `output`, standard output and error are collected into it.
int RunAndWait(const std::vector<std::string>& argv, int timeoutMs = 0,
               std::string* output = nullptr);

// The calling process's id.
int CurrentProcessId();

// The value of environment variable `name`; "" when it is unset or longer than `limit`
// (a value that long is no path or number anyone meant).
std::string EnvironmentValue(const char* name, std::size_t limit = 4096);

// Raises the limit of open descriptors to the most the process may have (servers with
// thousands of clients); the limit afterwards.
unsigned long RaiseDescriptorLimit();

// Ends the process at once with the code, without running exit handlers or static
// destructors (the Win32 ExitProcess of a watcher thread).
[[noreturn]] void ExitNow(int code);

// Opens a file or URL with the desktop's handler: xdg-open, or $VISUAL / $EDITOR for
// text files when set. `workingDir` may be empty. False when nothing could be started.
bool ShellOpen(const std::string& pathOrUrl, const std::string& workingDir = "");

// Searches PATH for an executable name; empty when not found.
std::string FindInPath(const std::string& name);

}  // namespace platform
