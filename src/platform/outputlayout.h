// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

struct wl_output;
struct wl_registry;
struct zxdg_output_manager_v1;
struct zxdg_output_v1;

// The compositor's output layout as a client may learn it: each wl_output's logical position
// and size through xdg-output, in the same layout coordinates that the compositor's own
// pointer moves in. Fed the registry's globals by its owner, kept up to date by the owner's
// dispatching.
class OutputLayout
{
public:
    struct Output
    {
        std::uint32_t name = 0; // the registry's name of its wl_output
        wl_output *output = nullptr;
        zxdg_output_v1 *xdgOutput = nullptr;
        std::int32_t x = 0, y = 0, width = 0, height = 0;
        bool known() const { return width > 0 && height > 0; }
    };

    OutputLayout() = default;
    ~OutputLayout();
    OutputLayout(const OutputLayout &) = delete;
    OutputLayout &operator=(const OutputLayout &) = delete;

    /// Takes a new global if it is an output or the xdg-output manager; true if it took it.
    bool global(wl_registry *registry, std::uint32_t name, const char *interface,
                std::uint32_t version);
    /// Forgets the output of that registry name, if it is one.
    void globalRemove(std::uint32_t name);
    /// False where the compositor offers no xdg-output: no layout can be learnt then.
    bool hasManager() const { return m_manager != nullptr; }
    const std::vector<std::unique_ptr<Output>> &outputs() const { return m_outputs; }
    /// The output whose known place holds (x, y), or nullptr.
    const Output *at(std::int64_t x, std::int64_t y) const;
    bool contains(std::int64_t x, std::int64_t y) const { return at(x, y) != nullptr; }
    /// The output of that registry name, or nullptr once it is gone.
    const Output *find(std::uint32_t name) const;

private:
    void watch(Output &output);

    zxdg_output_manager_v1 *m_manager = nullptr;
    std::vector<std::unique_ptr<Output>> m_outputs;
};
