#pragma once

#include "setup/setuprecord.h"

#include <QObject>

#include <functional>
#include <optional>

namespace vork {

enum class Answer;
class UnitServices;

// Writes an edited setup record to the current unit, which must be connected
// and in setup mode: the checks, 'D', the 243 bytes, and the unit's second
// acknowledgement, which alone makes the record the unit's.
class SetupDownload : public QObject
{
    Q_OBJECT
public:
    enum class Result {
        Saved,        // the unit confirmed the record
        Invalid,      // a check failed; nothing sent
        Declined,     // the operator said no; nothing sent
        NoUnit,       // no connected current unit, or another operation runs
        NotAccepted,  // 'D' was not acknowledged; nothing sent
        NotConfirmed, // the record went out but was not acknowledged
    };
    static constexpr int ackSeconds = 3;

    explicit SetupDownload(UnitServices &services, QObject *parent = nullptr);

    // The record last received from the unit (or loaded, or confirmed): what changes are measured against.
    void setReceived(const setuppack &record) { m_received = record; }
    const setuppack &received() const { return m_received; }
    bool inSync() const { return m_inSync; }
    bool changesPending() const { return m_pending; }

    // Checks outgoing, asks what needs asking, sends it. On Saved the received
    // record becomes outgoing; on any failure the changes stay pending.
    Result download(const setuppack &outgoing);

    static QString unchangedQuestion();

    // What No and Cancel to the advanced-settings question do: No gives the record to
    // send instead (advanced defaults), nothing stops the download. Unset: both stop it.
    using AdvancedAnswer = std::function<std::optional<setuppack>(Answer)>;
    void setAdvancedAnswer(AdvancedAnswer answer) { m_advancedAnswer = std::move(answer); }

Q_SIGNALS:
    void confirmed(const setuppack &record);

private:
    UnitServices &m_services;
    setuppack m_received;
    bool m_inSync = false;
    bool m_pending = false;
    AdvancedAnswer m_advancedAnswer;
};

} // namespace vork
