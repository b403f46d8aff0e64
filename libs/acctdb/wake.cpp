// Waking the Gateway service: a touched file instead of a named event, so that any
// process of the gateway's group can wake it and the service needs only inotify.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "acctdb/acctdb.h"
#include "platform/files.h"

namespace acctdb {

std::string WakeFilePath(const std::string& interfaceName) {
    return GetProgramDataDirectory() + "WAKE/" + SafeUserDirectoryName(interfaceName);
}

void SetEventForInterface(const std::string& interfaceName, const std::string&) {
    const std::string path = WakeFilePath(interfaceName);
    platform::CreateDirectories(path.substr(0, path.find_last_of('/') + 1));
    // O_NONBLOCK: a FIFO planted under the name must not hang the caller; O_NOFOLLOW: a
    // link planted in the group-writable folder must not make us create files elsewhere.
    const int fd = open(path.c_str(),
                        O_WRONLY | O_CREAT | O_NONBLOCK | O_NOFOLLOW | O_NOCTTY | O_CLOEXEC,
                        0660);
    if (fd < 0) return;
    struct stat info {};
    if (fstat(fd, &info) == 0 && S_ISREG(info.st_mode)) {
        // Opening an existing file leaves its time alone; the service waits for a change.
        (void)futimens(fd, nullptr);
    }
    close(fd);
}

}  // namespace acctdb
