// SPDX-License-Identifier: GPL-3.0-or-later
#include "fakedesktopinput.h"

#include <algorithm>

bool FakeDesktopInput::GetCursorPos(CursorPoint &point)
{
    point = m_pointer;
    return true;
}

bool FakeDesktopInput::SetCursorPos(std::int32_t x, std::int32_t y)
{
    const std::string at = std::to_string(x) + ',' + std::to_string(y);
    const bool onScreen =
            m_monitors.empty()
            || std::any_of(m_monitors.begin(), m_monitors.end(), [x, y](const Monitor &m) {
                   return x >= m.left && x - m.left < m.width && y >= m.top && y - m.top < m.height;
               });
    if (!m_moveRefusal.empty() || !onScreen) {
        m_whyMoveFailed = onScreen ? m_moveRefusal : noScreenAt(x, y);
        record("no move " + at);
        return false;
    }
    m_pointer = {x, y};
    record("move " + at);
    return true;
}

std::string FakeDesktopInput::whyClicksMayNotLand(std::int32_t x, std::int32_t y)
{
    return x == m_dropAt.x && y == m_dropAt.y ? m_dropWhy : std::string();
}

void FakeDesktopInput::dropClicksAt(std::int32_t x, std::int32_t y, const std::string &why)
{
    m_dropAt = {x, y};
    m_dropWhy = why;
}

void FakeDesktopInput::mouse_event(std::uint32_t dwFlags)
{
    switch (dwFlags) {
    case LeftButtonPress:
        m_buttonDown = true;
        record("down");
        break;
    case LeftButtonRelease:
        m_buttonDown = false;
        record("up");
        break;
    default:
        record("flags " + std::to_string(dwFlags));
        break;
    }
}

std::int16_t FakeDesktopInput::GetAsyncKeyState(int vKey)
{
    if (!m_keyQueries.empty())
        m_keyQueries += ' ';
    m_keyQueries += std::to_string(vKey);
    if (m_held.count(vKey))
        return std::int16_t(0x8000);
    if (m_tapped.erase(vKey))
        return 1;
    return 0;
}

void FakeDesktopInput::placePointer(std::int32_t x, std::int32_t y)
{
    m_pointer = {x, y};
}

void FakeDesktopInput::holdKey(int vKey)
{
    m_held.insert(vKey);
}

void FakeDesktopInput::releaseKey(int vKey)
{
    m_held.erase(vKey);
}

void FakeDesktopInput::tapKey(int vKey)
{
    m_tapped.insert(vKey);
}

std::string FakeDesktopInput::actions() const
{
    return m_actions;
}

void FakeDesktopInput::clearActions()
{
    m_actions.clear();
    m_actionCount = 0;
}

std::string FakeDesktopInput::keyQueries() const
{
    return m_keyQueries;
}

void FakeDesktopInput::record(const std::string &action)
{
    if (!m_actions.empty())
        m_actions += "; ";
    m_actions += action;
    ++m_actionCount;
}
