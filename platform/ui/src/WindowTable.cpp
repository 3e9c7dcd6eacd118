// The per-user window table: every application registers its window class and title and a
// local socket; FindWindowA searches the table, and the socket lets another process restore
// and raise this one's main window.
#include <QDir>
#include <QFile>
#include <QLocalServer>
#include <QLocalSocket>
#include <QSaveFile>
#include <QTimer>
#include <fcntl.h>
#include <sys/file.h>

#include <climits>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <fstream>
#include <memory>
#include <string>
#include <unistd.h>

#include "Forms.h"
#include "UiPrivate.h"
#include "UiState.h"

namespace ui {

void BringApplicationToFront();
bool ApplicationIconic();
HWND FindRemoteWindow(int pid, const std::string& socket, const std::string& className);

namespace {

QString RuntimeDir() {
  QString dir;
  if (const char* e = std::getenv("WINPLAT_RUNTIME_DIR"); e && *e) dir = QString::fromLocal8Bit(e);
  else if (const char* x = std::getenv("XDG_RUNTIME_DIR"); x && *x) dir = QString::fromLocal8Bit(x);
  else dir = QStringLiteral("/tmp/movrant-%1").arg(getuid());
  QDir().mkpath(dir + QStringLiteral("/windows"));
  QFile::setPermissions(dir, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
  return dir;
}

struct Publication {
  QString entry;   // the table file of this process
  QString socket;  // the activation socket
  QLocalServer* server = nullptr;  // lives as long as the process (the Qt application too)
};
Publication* gPub = nullptr;

void Serve(QLocalSocket* s) {
  QObject::connect(s, &QLocalSocket::readyRead, s, [s] {
    if (!s->canReadLine()) return;
    QByteArray cmd = s->readLine().trimmed();
    QByteArray answer = "1";
    Safely([&] {
      if (cmd == "ICONIC")
        answer = ApplicationIconic() ? "1" : "0";
      else if (cmd == "RESTORE")
        Application->Restore();
      else if (cmd == "FRONT")
        BringApplicationToFront();
      else
        answer = "0";
    });
    s->write(answer + "\n");
    s->flush();
    s->disconnectFromServer();
  });
  QObject::connect(s, &QLocalSocket::disconnected, s, &QObject::deleteLater);
}

QString Hex(const std::string& bytes) { return QString::fromLatin1(QByteArray::fromStdString(bytes).toHex()); }

bool Alive(int pid) { return pid > 0 && (kill(pid, 0) == 0 || errno == EPERM); }

// When a process started (field 22 of its stat line, clock ticks since boot): with the id it
// names the process, which the id alone does not once the system gives the id out again.
// Empty when there is no such process.
std::string StartTime(int pid) {
  std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
  std::string line;
  if (!std::getline(stat, line)) return "";
  size_t close = line.rfind(')');
  if (close == std::string::npos) return "";
  size_t at = close + 2;  // field 3
  for (int field = 3; field < 22 && at != std::string::npos; ++field) {
    at = line.find(' ', at);
    if (at != std::string::npos) ++at;
  }
  if (at == std::string::npos) return "";
  return line.substr(at, line.find(' ', at) - at);
}

// The entry's files as plain paths, so that an end that runs no exit handlers (a signal, an
// exception nobody catches) can still remove them: unlink is all such an end may do.
char gEntryPath[PATH_MAX];
char gSocketPath[PATH_MAX];

void RemoveEntryFiles() {
  if (gEntryPath[0]) unlink(gEntryPath);
  if (gSocketPath[0]) unlink(gSocketPath);
  gEntryPath[0] = gSocketPath[0] = 0;
}

void EndBySignal(int signal) {
  RemoveEntryFiles();
  // Then the end the signal would have made, as the parent expects to see it.
  std::signal(signal, SIG_DFL);
  raise(signal);
}

std::terminate_handler gPreviousTerminate = nullptr;

// Installs the withdrawal on every end of the process, once: the exit handlers of a normal end,
// the termination signals a program leaves at their default (and only those), and an exception
// that ends the program.
void WithdrawOnEveryEnd() {
  static bool installed = false;
  if (installed) return;
  installed = true;
  std::atexit(WithdrawApplicationWindow);
  for (int signal : {SIGTERM, SIGINT, SIGHUP}) {
    struct sigaction old = {};
    if (sigaction(signal, nullptr, &old) != 0 || (old.sa_flags & SA_SIGINFO) || old.sa_handler != SIG_DFL) continue;
    struct sigaction end = {};
    end.sa_handler = EndBySignal;
    sigemptyset(&end.sa_mask);
    sigaction(signal, &end, nullptr);
  }
  gPreviousTerminate = std::set_terminate([] {
    RemoveEntryFiles();
    if (gPreviousTerminate) gPreviousTerminate();
    std::abort();
  });
}

void CopyPath(char* to, const QString& path) {
  QByteArray bytes = QFile::encodeName(path);
  if (bytes.size() >= PATH_MAX) bytes.clear();
  std::memcpy(to, bytes.constData(), size_t(bytes.size()) + 1);
}

// A search of the table and the title this process publishes next are one step for the other
// processes: two programs that start at once and each look for the other before naming their
// own window would otherwise both find nothing. The lock goes with the next publication, at
// the next turn of the event loop, or at the end of the process; a holder that keeps it too
// long is waited for a few seconds at most.
int gTableLock = -1;

void UnlockTable() {
  if (gTableLock < 0) return;
  flock(gTableLock, LOCK_UN);
  close(gTableLock);
  gTableLock = -1;
}

void LockTable(const QString& dir) {
  if (gTableLock >= 0) return;
  int fd = open(QFile::encodeName(dir + QStringLiteral("/windows/.lock")).constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
  if (fd < 0) return;
  for (int waited = 0; flock(fd, LOCK_EX | LOCK_NB) != 0; waited += 10) {
    if (waited >= 5000) {
      close(fd);
      return;
    }
    usleep(10000);
  }
  gTableLock = fd;
  QTimer::singleShot(0, EnsureQt(), [] { UnlockTable(); });
}

}  // namespace

void PublishApplicationWindow(const AnsiString& title) {
  EnsureQt();
  QString dir = RuntimeDir();
  // A test may move the table: the entry follows it.
  if (gPub && !gPub->entry.isEmpty() && !gPub->entry.startsWith(dir + QStringLiteral("/windows/")))
    WithdrawApplicationWindow();
  if (!gPub || gPub->entry.isEmpty()) {
    if (!gPub) gPub = new Publication;
    gPub->entry = QStringLiteral("%1/windows/%2.win").arg(dir).arg(getpid());
    gPub->socket = QStringLiteral("%1/app-%2.sock").arg(dir).arg(getpid());
    if (!gPub->server) gPub->server = new QLocalServer(EnsureQt());
    QLocalServer::removeServer(gPub->socket);
    gPub->server->setSocketOptions(QLocalServer::UserAccessOption);
    gPub->server->close();
    gPub->server->disconnect();
    if (gPub->server->listen(gPub->socket))
      QObject::connect(gPub->server, &QLocalServer::newConnection, gPub->server, [] {
        while (QLocalSocket* s = gPub->server->nextPendingConnection()) Serve(s);
      });
    CopyPath(gSocketPath, gPub->socket);
    CopyPath(gEntryPath, gPub->entry);
    WithdrawOnEveryEnd();
  }
  QSaveFile f(gPub->entry);
  if (!f.open(QIODevice::WriteOnly)) return;
  QString text = QStringLiteral("%1\nTApplication\n%2\n%3\n%4\n")
                     .arg(getpid())
                     .arg(Hex(title.str()))
                     .arg(gPub->socket)
                     .arg(QString::fromStdString(StartTime(getpid())));
  f.write(text.toUtf8());
  f.commit();
  UnlockTable();
}

void WithdrawApplicationWindow() {
  if (!gPub || gPub->entry.isEmpty()) return;
  gEntryPath[0] = gSocketPath[0] = 0;
  QFile::remove(gPub->entry);
  if (gPub->server) gPub->server->close();
  QFile::remove(gPub->socket);
  gPub->entry.clear();
}

std::string AskRemote(const std::string& socket, const std::string& command) {
  EnsureQt();
  QLocalSocket s;
  s.connectToServer(QString::fromStdString(socket));
  if (!s.waitForConnected(2000)) return "";
  s.write(QByteArray::fromStdString(command + "\n"));
  s.flush();
  s.waitForBytesWritten(2000);
  QByteArray answer;
  while (!answer.contains('\n') && s.waitForReadyRead(3000)) answer += s.readAll();
  return answer.trimmed().toStdString();
}

}  // namespace ui

HWND WINAPI FindWindowA(LPCSTR lpClassName, LPCSTR lpWindowName) {
  ui::LockTable(ui::RuntimeDir());
  QDir dir(ui::RuntimeDir() + QStringLiteral("/windows"));
  const QStringList entries = dir.entryList({QStringLiteral("*.win")}, QDir::Files, QDir::Name);
  for (const QString& name : entries) {
    QFile f(dir.filePath(name));
    if (!f.open(QIODevice::ReadOnly)) continue;
    QList<QByteArray> lines = f.readAll().split('\n');
    f.close();
    if (lines.size() < 4) continue;
    int pid = lines[0].toInt();
    // An entry is its writer's only while that very process runs: a process that now holds
    // the writer's id, or an entry that does not say when its writer started, is no window.
    bool alive = ui::Alive(pid);
    if (!alive || lines.size() < 5 || lines[4].isEmpty() || lines[4].toStdString() != ui::StartTime(pid)) {
      QFile::remove(dir.filePath(name));
      if (!alive) QFile::remove(QStringLiteral("%1/app-%2.sock").arg(ui::RuntimeDir()).arg(pid));
      continue;
    }
    std::string cls = lines[1].toStdString();
    std::string title = QByteArray::fromHex(lines[2]).toStdString();
    if (lpClassName && CompareText(AnsiString(cls), AnsiString(lpClassName)) != 0) continue;
    if (lpWindowName && title != lpWindowName) continue;
    if (pid == int(getpid())) return Application->GetHandle();
    return ui::FindRemoteWindow(pid, lines[3].toStdString(), cls);
  }
  return nullptr;
}
