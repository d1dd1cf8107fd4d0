// The library's version, shown in the control's banner and in its version resource.
#pragma once

#define TESSALY_VERSION_MAJOR 1
#define TESSALY_VERSION_MINOR 1
#define TESSALY_VERSION_REVISION 2
#define TESSALY_VERSION_STRING "1.01.0002"

#ifdef __cplusplus
namespace tessaly {
inline constexpr int kVersionMajor = TESSALY_VERSION_MAJOR;
inline constexpr int kVersionMinor = TESSALY_VERSION_MINOR;
inline constexpr int kVersionRevision = TESSALY_VERSION_REVISION;
}  // namespace tessaly
#endif
