#pragma once

#include <QObject>

class JsonTransport;
class SocialView;
struct JsonReply;
struct SyncState;

/// The social metrics panel's logic: only the job "0" sees it, and its figures come from the
/// service's "/api/analytics/impressions". Lives on the GUI thread.
///
/// The fetch never blocks the caller: it runs on the transport's own thread and its answer is
/// written when it arrives. At most one fetch is in flight, so a service that hangs costs one
/// request per transport time-out instead of one per display refresh, and answers are written
/// in the order the fetches were made.
class SocialPanel final : public QObject {
    Q_OBJECT

public:
    static constexpr const char* impressionsPath = "/api/analytics/impressions";

    explicit SocialPanel(const SyncState& sync, JsonTransport& transport, SocialView& view,
                         QObject* parent = nullptr);
    SocialPanel(const SocialPanel&) = delete;
    SocialPanel& operator=(const SocialPanel&) = delete;

    /// Shows the panel for the job "0" and hides it for every other job. Called once per sign-in.
    void updateSocialVisibility();
    /// For the job "0", starts one fetch of the figures unless one is in flight; for any other
    /// job does nothing. A failed fetch (no answer, a status outside 200..299, a body that is
    /// not a JSON object) leaves the lines as they are.
    void refreshSocialMetricsFromAPI();

private:
    bool isSocialJob() const;
    void finishFetch(const JsonReply& reply);

    const SyncState& sync;
    JsonTransport& transport;
    SocialView& view;
    bool fetching = false;
};
