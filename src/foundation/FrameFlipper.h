#pragma once

#include <QImage>
#include <QPoint>
#include <QRegion>

#include <functional>
#include <memory>

class QWindow;

// Keeps a strip of frames on the display server's side and copies one into a window per step, so
// that an animation costs no repaint of the window.
class FrameFlipper {
public:
    virtual ~FrameFlipper() = default;
    // Copies frame `index` to `at` (the window's device pixels), clipped to `visible` (the same).
    virtual void show(int index, QPoint at, const QRegion& visible) = 0;
};

// Makes a flipper for `window` holding `strip`, `frames` equally wide frames side by side (device
// pixels); null where the window system cannot.
using FrameFlipperFactory =
    std::function<std::unique_ptr<FrameFlipper>(QWindow& window, const QImage& strip, int frames)>;
