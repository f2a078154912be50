// Provenance of an opened engine and of each additional kernel.
#pragma once

#include <string>
#include <vector>

namespace ephemeris {

inline constexpr const char* kEngineVersion = "0.1.0";
inline constexpr const char* kCoordinateFrame = "ICRF/J2000";

struct KernelProvenance {
  std::string kernel_name;    // final component of the kernel's path
  std::string kernel_sha256;  // caller-verified checksum, 64 lower-case hex digits
  friend bool operator==(const KernelProvenance&, const KernelProvenance&) = default;
};

struct EphemerisMetadata {
  std::string engine_version = kEngineVersion;
  std::string kernel_name;
  std::string kernel_sha256;
  std::string coordinate_frame = kCoordinateFrame;
  std::vector<KernelProvenance> additional_kernels;  // in the order attached
  friend bool operator==(const EphemerisMetadata&, const EphemerisMetadata&) = default;
};

}  // namespace ephemeris
