#pragma once

#include <cstdint>
#include <string>

namespace kestrova {

// The main window's placement as the settings file sees it: position, maximized state and
// caption. The dashboard window implements it; the headless core and the tests use
// PlainWindowPlacement.
class WindowPlacement {
public:
    virtual ~WindowPlacement() = default;

    virtual std::int32_t Top() const = 0;
    virtual std::int32_t Left() const = 0;
    virtual bool Maximized() const = 0;
    virtual std::string Caption() const = 0;

    virtual void SetTop(std::int32_t top) = 0;
    virtual void SetLeft(std::int32_t left) = 0;
    virtual void SetMaximized(bool maximized) = 0;
};

// A window placement that only remembers what it is told.
class PlainWindowPlacement : public WindowPlacement {
public:
    std::int32_t top = 0;
    std::int32_t left = 0;
    bool maximized = false;
    std::string caption;

    std::int32_t Top() const override { return top; }
    std::int32_t Left() const override { return left; }
    bool Maximized() const override { return maximized; }
    std::string Caption() const override { return caption; }

    void SetTop(std::int32_t value) override { top = value; }
    void SetLeft(std::int32_t value) override { left = value; }
    void SetMaximized(bool value) override { maximized = value; }
};

}  // namespace kestrova
