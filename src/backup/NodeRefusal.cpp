// SPDX-License-Identifier: GPL-3.0-or-later
#include "backup/NodeRefusal.h"

#include "platform/FileNode.h"

#include <sys/stat.h>

namespace stowmere::backup {

std::optional<std::string> specialRefusal(mode_t format, const Destination& destination)
{
    if ((format & S_IFMT) == S_IFSOCK)
        return std::string("it is a socket, which holds nothing to copy: the program that listens on it "
                           "makes it anew");
    if (!destination.holdsSpecials())
        return std::string("it is a ") + files::specialKindWord(format) + ", and " + destination.location() +
               " cannot hold FIFOs or device nodes";
    if (files::isDeviceFormat(format) && !files::mayMakeDevices())
        return std::string("it is a ") + files::specialKindWord(format) +
               ", which only root (or a process with CAP_MKNOD) may make";
    return std::nullopt;
}

} // namespace stowmere::backup
