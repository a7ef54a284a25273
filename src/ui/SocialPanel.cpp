#include "SocialPanel.h"

#include "JsonTransport.h"
#include "SocialTexts.h"
#include "SocialView.h"
#include "SyncState.h"

SocialPanel::SocialPanel(const SyncState& sync, JsonTransport& transport, SocialView& view, QObject* parent)
    : QObject(parent)
    , sync(sync)
    , transport(transport)
    , view(view) {}

bool SocialPanel::isSocialJob() const {
    return sync.jobId == QLatin1String("0");
}

void SocialPanel::updateSocialVisibility() {
    view.setSocialPanelVisible(isSocialJob());
}

void SocialPanel::refreshSocialMetricsFromAPI() {
    if (!isSocialJob() || fetching)
        return;
    fetching = true;
    transport.sendAsync(QStringLiteral("GET"), QString::fromLatin1(impressionsPath), std::nullopt, this,
                        [this](const JsonReply& reply) { finishFetch(reply); }, {{}, sync.token()});
}

void SocialPanel::finishFetch(const JsonReply& reply) {
    fetching = false;
    if (isSuccessStatus(reply.status) && reply.result)
        view.setSocialLines(SocialTexts::linesFromResponse(*reply.result));
}
