// Messages between copies of the program and with the host application, over a per-user local
// socket named after the executable. They stand in for the private window messages 1174-1177.
//
// Wire grammar (one ASCII line each, "\n" terminated):
//   listener -> peer on connect:  HELLO <pid> <caption>
//   either direction:             MSG <number> <wparam> <lparam>
// A peer that sends MSG 1177 <handle> and stays connected is the host window <handle>: status
// reports for that handle are written to it.
#pragma once

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QString>
#include <optional>
#include <vector>

class QLocalServer;
class QLocalSocket;

namespace tramolin {

enum WindowMessageNumber : int {
  kMsgRestore = 1174,     // show and restore the window
  kMsgMinimize = 1175,    // minimise the window shortly
  kMsgSyncNow = 1176,     // start a synchronisation now (from the host application)
  kMsgHostWindow = 1177,  // to a copy: the host window's handle; to the host: a status report
};

struct WindowMessage {
  int number = 0;
  long long wparam = 0;
  long long lparam = 0;
};

// The running copy's side: listens and hands every message to the owner.
class InstanceChannel : public QObject {
  Q_OBJECT

 public:
  explicit InstanceChannel(QString name, QObject* parent = nullptr);
  ~InstanceChannel() override;

  // False when another live copy already listens under the name (a stale socket is replaced).
  bool Listen();
  // What a later copy sees as this copy's window caption.
  void SetCaption(QString caption) { caption_ = std::move(caption); }
  // Writes the message to every connected peer registered as the host window `handle`.
  void PostToHostWindow(long long handle, const WindowMessage& message);

 signals:
  void messageReceived(tramolin::WindowMessage message);

 private:
  void AcceptConnections();
  void ReadPeer(QLocalSocket* peer);

  QString name_;
  QString caption_;
  QLocalServer* server_;
  QList<QLocalSocket*> peers_;
};

// What a second copy learns about the copy that already runs.
struct RunningCopyInfo {
  long long pid = 0;
  QString caption;
};

// The second copy's side: connects, reads the greeting and, when the running copy is the process
// `expected_pid` with the window caption `expected_caption`, posts the messages. Returns whether
// they were posted.
bool PostToRunningCopy(const QString& name, long long expected_pid, const QString& expected_caption,
                       const std::vector<WindowMessage>& messages);

// Parses "MSG <number> <wparam> <lparam>"; nullopt for anything else.
std::optional<WindowMessage> ParseMessageLine(const QByteArray& line);
QByteArray MessageLine(const WindowMessage& message);

}  // namespace tramolin
