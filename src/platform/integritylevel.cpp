// SPDX-License-Identifier: GPL-3.0-or-later
#include "integritylevel.h"

std::string whyIntegrityDropsClicks(std::optional<std::uint32_t> own,
                                    std::optional<std::uint32_t> target)
{
    // An unread level says nothing. A user's program can read the level of a program the same
    // user runs as administrator, the case that matters (OpenProcessToken's documentation says
    // so); what it cannot read belongs to other accounts, whose windows mostly take clicks, and a
    // warning at each of them would cry wolf.
    if (!own || !target || *target <= *own)
        return {};
    // Only programs signed for UI access reach the system's windows; Varbelo is none.
    if (*target >= IntegrityLevel::System)
        return "the window there runs as the system: Windows drops Varbelo's clicks into it, "
               "even run as administrator";
    if (*target >= IntegrityLevel::High)
        return "the window there runs as administrator: Windows drops clicks into it unless "
               "Varbelo runs as administrator too";
    return "the window there has more rights than Varbelo: Windows drops clicks into it unless "
           "Varbelo runs as administrator";
}
