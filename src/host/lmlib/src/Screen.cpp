#include "Screen.h"

ScreenOutput::ScreenOutput(int id, const QString &name, int kind)
    : m_id(id)
    , m_name(name)
    , m_kind(kind)
{ }

Screen::Screen(int id, const QString &name, const QString &networkAddress)
    : m_id(id)
    , m_name(name)
    , m_networkAddress(networkAddress)
{ }

Screen::~Screen() = default;

void Screen::setScreenSet(std::unique_ptr<ScreenSet> set)
{
    m_screenSet = std::move(set);
}

MediaServerTable::~MediaServerTable()
{
    qDeleteAll(m_servers);
}

bool MediaServerTable::add(std::unique_ptr<Screen> screen)
{
    if (!screen || m_servers.contains(screen->id()))
        return false;
    const int id = screen->id();
    m_servers.insert(id, screen.release());
    return true;
}
