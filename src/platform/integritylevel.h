// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <optional>
#include <string>

// Windows' mandatory integrity levels, the last sub-authority of a token's S-1-16-N label.
// Windows drops the synthetic input that a process sends into a window of a process at a
// higher level (User Interface Privilege Isolation), and mouse_event and SendInput report
// success all the same.
namespace IntegrityLevel {
constexpr std::uint32_t Medium = 0x2000; // a program the user starts
constexpr std::uint32_t High = 0x3000; // a program run as administrator
constexpr std::uint32_t System = 0x4000; // a service
} // namespace IntegrityLevel

/// Why clicks from a process at level own into a window of a process at level target are
/// dropped, and what to do, in words for the user; empty when they are not, and when either
/// level could not be read.
std::string whyIntegrityDropsClicks(std::optional<std::uint32_t> own,
                                    std::optional<std::uint32_t> target);
