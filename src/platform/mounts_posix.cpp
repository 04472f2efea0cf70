#include "platform/mounts_posix.h"

#include <fstream>
#include <sstream>
#include <unordered_set>
#include <vector>

namespace corvella::platform {

namespace {

struct SkippedMounts {
    std::unordered_set<std::string> paths;
    std::unordered_set<std::string> last_names;  // a quick first test
};

SkippedMounts ReadSkippedMounts() {
    SkippedMounts skipped;
    std::ifstream in("/proc/self/mountinfo");
    std::string line;
    while (std::getline(in, line)) {
        // id parent major:minor root mount-point options [optional...] - type source super
        std::istringstream fields(line);
        std::vector<std::string> f;
        for (std::string w; fields >> w;) f.push_back(w);
        size_t dash = 0;
        while (dash < f.size() && f[dash] != "-") ++dash;
        if (f.size() < 5 || dash + 1 >= f.size()) continue;
        if (!IsSkippedFileSystemType(f[dash + 1])) continue;
        std::string path = UnescapeMountPath(f[4]);
        skipped.last_names.insert(path.substr(path.rfind('/') + 1));
        skipped.paths.insert(std::move(path));
    }
    return skipped;
}

}  // namespace

bool IsSkippedFileSystemType(std::string_view type) {
    static const std::unordered_set<std::string_view> kTypes = {
        // virtual
        "proc", "sysfs", "devtmpfs", "devpts", "tmpfs", "ramfs", "cgroup", "cgroup2", "securityfs",
        "pstore", "debugfs", "tracefs", "configfs", "fusectl", "mqueue", "hugetlbfs", "bpf",
        "autofs", "binfmt_misc", "efivarfs", "rpc_pipefs", "nfsd", "nsfs", "selinuxfs",
        // network
        "nfs", "nfs4", "cifs", "smb3", "smbfs", "ncpfs", "afs", "9p", "ceph", "glusterfs",
        "fuse.sshfs", "fuse.rclone", "davfs", "fuse.davfs2",
        // optical
        "iso9660", "udf"};
    return kTypes.count(type) != 0;
}

std::string UnescapeMountPath(std::string_view field) {
    std::string out;
    for (size_t i = 0; i < field.size(); ++i) {
        if (field[i] == '\\' && i + 3 < field.size() && field[i + 1] >= '0' &&
            field[i + 1] <= '3' && field[i + 2] >= '0' && field[i + 2] <= '7' &&
            field[i + 3] >= '0' && field[i + 3] <= '7') {
            out +=
                char((field[i + 1] - '0') * 64 + (field[i + 2] - '0') * 8 + (field[i + 3] - '0'));
            i += 3;
        } else {
            out += field[i];
        }
    }
    return out;
}

bool IsSkippedMountPoint(std::string_view folder, std::string_view name) {
    static const SkippedMounts skipped = ReadSkippedMounts();
    std::string path(name);
    if (skipped.last_names.count(path) == 0) return false;
    path.insert(0, folder);
    return skipped.paths.count(path) != 0;
}

}  // namespace corvella::platform
