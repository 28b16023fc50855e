#pragma once

#include <QDomDocument>
#include <QDomElement>
#include <QHash>
#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>

#include <memory>

class HostRegistry;
class MediaServerTable;
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
    static constexpr int kFormatVersion = 1;
    // Larger files are refused before parsing.
    static constexpr qint64 kMaxFileSize = 64 * 1024 * 1024;
    // Deeper element nesting is refused before the document is built: the DOM is
    // freed recursively, and a few hundred thousand levels would overflow the stack.
    static constexpr int kMaxDepth = 256;
    // The XML reader's time grows with the square of the attributes of one element.
    static constexpr int kMaxAttributes = 1024;
    // Every instance holds a copy of the show, so a show costs its instances times its
    // devices, nodes and connections: both are bounded.
    static constexpr int kMaxMediaServers = 1000;
    // Instances times the elements of <devices>, <nodes> and <connections>.
    static constexpr qint64 kMaxElementCopies = 500000;

    bool load(const QString &path, QString *error);
    bool parse(const QByteArray &xml, QString *error);

    QString showName() const { return m_showName; }
    const QList<InstanceConfig> &instances() const { return m_instances; }
    // Sections this host does not interpret (kept and written back as they are).
    const QList<QDomElement> &otherSections() const { return m_otherSections; }

    // Fills one instance's copy: media servers, devices (readDom), nodes
    // (readValues) and connections. False with *error on the first problem. Values
    // that load as the plug-in reads them but may surprise are warnings: reported
    // through the registry's reportMessage (or logged) when the first instance is
    // filled, and kept in warnings().
    bool populate(Show &show, const InstanceConfig &instance, const HostRegistry &registry,
        QString *error) const;
    const QStringList &warnings() const { return m_warnings; }

    // The show file text of `show` (the producer's copy) with these instances.
    static QString save(const Show &show, const QString &showName,
        const QList<InstanceConfig> &instances, const QList<QDomElement> &otherSections);

private:
    bool parseInstances(const QDomElement &section, QString *error);
    bool checkSize(QString *error) const;
    bool createDevices(Show &show, const HostRegistry &registry,
        QHash<QPair<QString, int>, QDomElement> *elements, QStringList *warnings,
        QString *error) const;
    bool createNodes(Show &show, const QHash<QPair<QString, int>, QDomElement> &devices,
        QStringList *warnings, QString *error) const;
    bool createConnections(Show &show, QString *error) const;

    QDomDocument m_document;
    QString m_showName;
    QList<InstanceConfig> m_instances;
    QDomElement m_devices;
    QDomElement m_nodes;
    QDomElement m_connections;
    QList<QDomElement> m_otherSections;
    // Built once per file, shared by every instance's copy.
    std::shared_ptr<MediaServerTable> m_mediaServers;
    // Filled while the first instance is populated (the same for every copy).
    mutable QStringList m_warnings;
};
