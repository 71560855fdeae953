#pragma once

namespace mev {

// The screen the program runs on: its size in pixels and its resolution. Built on the
// stack whenever a size is needed, so a changed screen mode is seen the next time.
class CDisplayInfo {
public:
    static constexpr int DEFAULT_WIDTH = 800;
    static constexpr int DEFAULT_HEIGHT = 600;
    static constexpr int DEFAULT_DPI = 72;

    CDisplayInfo();

    // Size of the primary monitor; 800 x 600 when there is no display to ask.
    int GetWidth() const { return m_width; }
    int GetHeight() const { return m_height; }
    // Dots per inch; 72 when unknown.
    int GetDpiX() const { return m_dpiX; }
    int GetDpiY() const { return m_dpiY; }
    bool HasDisplay() const { return m_hasDisplay; }

private:
    int m_width = DEFAULT_WIDTH;
    int m_height = DEFAULT_HEIGHT;
    int m_dpiX = DEFAULT_DPI;
    int m_dpiY = DEFAULT_DPI;
    bool m_hasDisplay = false;
};

} // namespace mev
