#pragma once

/// Tells timer callbacks whether a modal dialog is running its own event loop.
/// Qt keeps delivering timers inside a nested loop; the program's timers must not fire there,
/// so every callback that must stand still asks isOpen() and drops its tick when it is.
class ModalGate {
public:
    ModalGate() = default;
    ModalGate(const ModalGate&) = delete;
    ModalGate& operator=(const ModalGate&) = delete;

    bool isOpen() const { return depth > 0; }

private:
    friend class ModalScope;
    int depth = 0;
};

/// Marks the lifetime of one modal dialog; scopes nest.
class ModalScope {
public:
    explicit ModalScope(ModalGate& gate)
        : gate(gate) {
        ++gate.depth;
    }
    ~ModalScope() { --gate.depth; }
    ModalScope(const ModalScope&) = delete;
    ModalScope& operator=(const ModalScope&) = delete;

private:
    ModalGate& gate;
};
