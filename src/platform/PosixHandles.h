#pragma once

// The POSIX system's handles of the core, each with one owner: file descriptors.

#include "platform/UniqueHandle.h"

#include <unistd.h>

namespace platform {

struct DescriptorTraits {
    using Handle = int;
    static int none() noexcept { return -1; }
    static bool holds(int fd) noexcept { return fd >= 0; }
    static void close(int fd) noexcept { ::close(fd); }
};

/// A file descriptor, closed with close(2): `Descriptor fd(::openat(...));`, then `if (!fd)`
/// for a failure.
using Descriptor = UniqueHandle<DescriptorTraits>;

} // namespace platform
