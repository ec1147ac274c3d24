#pragma once

#include <QDateTime>
#include <QHostAddress>
#include <QString>

// What the agent knows of one device: the site's texts (when the site
// holds it) and what was heard, this run or, for ip/version/lastSeen, in
// an earlier one as the site file remembers it.
struct AgentDevice
{
    enum class State { Live, Lost, Missing, Outdated, New };

    QString mac; // canonical, the key
    QString name;
    QString location;
    QString notes;
    QString ip;          // last address heard; empty when never
    QString version;     // last version heard; empty when never
    QDateTime lastSeen;  // UTC; invalid when never
    qint64 heardMs = -1; // roster clock at the last reply this run; -1: not heard this run
    bool inSite = false;
    State state = State::Missing;

    bool isUp() const
    {
        return state == State::Live || state == State::Outdated || state == State::New;
    }
    QHostAddress address() const { return QHostAddress(ip); }

    static QString stateName(State state)
    {
        switch (state) {
        case State::Live:
            return QStringLiteral("live");
        case State::Lost:
            return QStringLiteral("lost");
        case State::Missing:
            return QStringLiteral("missing");
        case State::Outdated:
            return QStringLiteral("outdated");
        case State::New:
            return QStringLiteral("new");
        }
        return QString();
    }
};
