// SPDX-License-Identifier: GPL-3.0-or-later
#include "outputlayout.h"

#include "xdg-output-unstable-v1-client-protocol.h"

#include <algorithm>
#include <cstring>
#include <wayland-client.h>

namespace {

// Only the logical position and size matter: they are what the layout is made of.
void logicalPosition(void *data, zxdg_output_v1 *, std::int32_t x, std::int32_t y)
{
    auto *output = static_cast<OutputLayout::Output *>(data);
    output->x = x;
    output->y = y;
}

void logicalSize(void *data, zxdg_output_v1 *, std::int32_t width, std::int32_t height)
{
    auto *output = static_cast<OutputLayout::Output *>(data);
    output->width = width;
    output->height = height;
}

void ignoreDone(void *, zxdg_output_v1 *) { }
void ignoreText(void *, zxdg_output_v1 *, const char *) { }

const zxdg_output_v1_listener xdgOutputListener {logicalPosition, logicalSize, ignoreDone,
                                                 ignoreText, ignoreText};

void destroy(OutputLayout::Output &output)
{
    if (output.xdgOutput)
        zxdg_output_v1_destroy(output.xdgOutput);
    wl_output_destroy(output.output);
}

} // namespace

OutputLayout::~OutputLayout()
{
    for (const auto &output : m_outputs)
        destroy(*output);
    if (m_manager)
        zxdg_output_manager_v1_destroy(m_manager);
}

bool OutputLayout::global(wl_registry *registry, std::uint32_t name, const char *interface,
                          std::uint32_t version)
{
    if (std::strcmp(interface, zxdg_output_manager_v1_interface.name) == 0) {
        // Version 2 sends no done event of its own, so wl_output's done is never needed.
        m_manager = static_cast<zxdg_output_manager_v1 *>(wl_registry_bind(
                registry, name, &zxdg_output_manager_v1_interface, std::min(version, 2u)));
        for (const auto &output : m_outputs)
            watch(*output);
        return true;
    }
    if (std::strcmp(interface, wl_output_interface.name) == 0) {
        auto output = std::make_unique<Output>();
        output->name = name;
        output->output =
                static_cast<wl_output *>(wl_registry_bind(registry, name, &wl_output_interface, 1));
        if (m_manager)
            watch(*output);
        m_outputs.push_back(std::move(output));
        return true;
    }
    return false;
}

void OutputLayout::globalRemove(std::uint32_t name)
{
    std::erase_if(m_outputs, [name](const std::unique_ptr<Output> &output) {
        if (output->name != name)
            return false;
        destroy(*output);
        return true;
    });
}

const OutputLayout::Output *OutputLayout::at(std::int64_t x, std::int64_t y) const
{
    for (const auto &output : m_outputs) {
        if (output->known() && x >= output->x && x < std::int64_t(output->x) + output->width
            && y >= output->y && y < std::int64_t(output->y) + output->height)
            return output.get();
    }
    return nullptr;
}

const OutputLayout::Output *OutputLayout::find(std::uint32_t name) const
{
    for (const auto &output : m_outputs) {
        if (output->name == name)
            return output.get();
    }
    return nullptr;
}

void OutputLayout::watch(Output &output)
{
    if (output.xdgOutput)
        return;
    output.xdgOutput = zxdg_output_manager_v1_get_xdg_output(m_manager, output.output);
    zxdg_output_v1_add_listener(output.xdgOutput, &xdgOutputListener, &output);
}
