#pragma once

#include <QDomDocument>
#include <QDomElement>
#include <QList>
#include <QString>

class HostRegistry;
class Show;

// One host instance of a show file: the producer or a media server.
struct InstanceConfig
{
    bool isProducer = true;
    // 0 for the producer.
    int mediaServerId = 0;
    QString name;
    QString address;
    bool master = false;
    struct Output
    {
        int id = -1;
        QString name;
        int kind = 0;
    };
    // None: the media server has no output set.
    QList<Output> outputs;
};

// A show file: instances, devices, nodes and connections. Parsing checks the
// structure; building a Show checks the types against the loaded plug-ins.
class ShowFile
{
public:
    static constexpr int FormatVersion = 1;
    // Larger files are refused before parsing.
    static constexpr qint64 MaxFileSize = 64 * 1024 * 1024;
    // Deeper element nesting is refused before the document is built: the DOM is
    // freed recursively, and a few hundred thousand levels would overflow the stack.
    static constexpr int MaxDepth = 256;

    bool load(const QString &path, QString *error);
    bool parse(const QByteArray &xml, QString *error);

    QString showName() const { return m_showName; }
    const QList<InstanceConfig> &instances() const { return m_instances; }
    // Sections this host does not interpret (kept and written back as they are).
    const QList<QDomElement> &otherSections() const { return m_otherSections; }

    // Fills one instance's copy: media servers, devices (readDom), nodes
    // (readValues) and connections. False with *error on the first problem.
    bool populate(Show &show, const InstanceConfig &instance, const HostRegistry &registry,
        QString *error) const;

    // The show file text of `show` (the producer's copy) with these instances.
    static QString save(const Show &show, const QString &showName,
        const QList<InstanceConfig> &instances, const QList<QDomElement> &otherSections);

private:
    bool parseInstances(const QDomElement &section, QString *error);
    bool createDevices(Show &show, const HostRegistry &registry, QString *error) const;
    bool createNodes(Show &show, QString *error) const;
    bool createConnections(Show &show, QString *error) const;

    QDomDocument m_document;
    QString m_showName;
    QList<InstanceConfig> m_instances;
    QDomElement m_devices;
    QDomElement m_nodes;
    QDomElement m_connections;
    QList<QDomElement> m_otherSections;
};
