#pragma once

#include "lmlib_global.h"

#include <QList>
#include <QMap>
#include <QString>

#include <memory>

// One output window of a media server. Kind 0 is an ordinary video output.
class LMLIB_EXPORT ScreenOutput
{
public:
    ScreenOutput(int id = -1, const QString &name = QString(), int kind = 0);

    int id() const { return m_id; }
    QString getName() const { return m_name; }
    int kind() const { return m_kind; }

private:
    int m_id;
    QString m_name;
    int m_kind;
};

using ScreenOutputs = QList<ScreenOutput>;

class LMLIB_EXPORT ScreenSet
{
public:
    const ScreenOutputs &getScreenOutputs() const { return m_outputs; }
    void addScreenOutput(const ScreenOutput &output) { m_outputs.append(output); }

private:
    ScreenOutputs m_outputs;
};

// A media server of the show: its id, name, network address and outputs.
class LMLIB_EXPORT Screen
{
public:
    Screen(int id, const QString &name, const QString &networkAddress);
    ~Screen();

    int id() const { return m_id; }
    QString name() const { return m_name; }
    QString networkAddress() const { return m_networkAddress; }
    // May be null: a media server whose outputs are unknown.
    ScreenSet *screenSet() const { return m_screenSet.get(); }
    void setScreenSet(std::unique_ptr<ScreenSet> set);

private:
    int m_id;
    QString m_name;
    QString m_networkAddress;
    std::unique_ptr<ScreenSet> m_screenSet;
};

// Media server id to media server, ascending.
using MediaServers = QMap<int, Screen *>;

// Owns the media servers of a show. Every host instance holds a copy of the show but
// the same media servers, so the copies share one table instead of one each.
class LMLIB_EXPORT MediaServerTable
{
public:
    MediaServerTable() = default;
    ~MediaServerTable();
    MediaServerTable(const MediaServerTable &) = delete;
    MediaServerTable &operator=(const MediaServerTable &) = delete;

    // Takes ownership; false (the screen deleted) when the id is taken.
    bool add(std::unique_ptr<Screen> screen);
    const MediaServers &servers() const { return m_servers; }

private:
    MediaServers m_servers;
};
