#pragma once

/// The offline banner of the main window ("Offline: Cloud sync paused. Will sync when back
/// online."), created hidden.
class OfflineBannerView {
public:
    virtual ~OfflineBannerView() = default;
    virtual void setOfflineBannerVisible(bool visible) = 0;
};
