// TPollLog: the poll log's files, their rotation and flushing.
#include "app/poller/polllog.h"

#include <QDateTime>
#include <QDir>
#include <QLocale>

namespace talyx::app {

namespace {

// Lines held past this many bytes are written at once rather than at the next tick.
constexpr qsizetype FlushBytes = 64 * 1024;
constexpr int FlushIntervalMs = 1000;

QDate LocalDay(int64_t wallMs) { return QDateTime::fromMSecsSinceEpoch(wallMs).date(); }

}  // namespace

QString DefaultPollLogFolder() {
  const QString data = qEnvironmentVariable("XDG_DATA_HOME");
  if (data.startsWith(QLatin1Char('/'))) return data + QStringLiteral("/talyx/polllogs");
  return qEnvironmentVariable("HOME") + QStringLiteral("/.local/share/talyx/polllogs");
}

TPollLog::TPollLog(TPollLogSettings settings, QObject* parent)
    : QObject(parent), settings_(std::move(settings)) {
  if (settings_.Folder.isEmpty()) settings_.Folder = DefaultPollLogFolder();
  flushTimer_.setInterval(FlushIntervalMs);
  connect(&flushTimer_, &QTimer::timeout, this, [this] { Flush(); });
}

TPollLog::~TPollLog() { Stop(); }

bool TPollLog::Start(const PollSet& set) {
  Stop();
  failure_.clear();
  columns_ = PollLogColumns(set);
  rows_ = set.Rows.size();
  if (!QDir().mkpath(settings_.Folder)) {
    failure_ = tr("无法创建文件夹 %1").arg(settings_.Folder);
    return false;
  }
  // Not running yet: a first file that fails is Start's false, not Stopped.
  if (!OpenFile(QDateTime::currentMSecsSinceEpoch())) {
    CloseFile();
    return false;
  }
  running_ = true;
  flushTimer_.start();
  return true;
}

void TPollLog::SetPollSet(const PollSet& set) {
  std::vector<PollLogColumn> columns = PollLogColumns(set);
  rows_ = set.Rows.size();
  if (columns == columns_) return;
  columns_ = std::move(columns);
  if (!running_ || !Flush()) return;
  CloseFile();
  if (!OpenFile(QDateTime::currentMSecsSinceEpoch())) Fail(failure_);
}

void TPollLog::Add(const TPollSample& sample) {
  if (!running_ || sample.Row >= rows_) return;
  const std::string line = PollLogLine(columns_, sample);
  const bool newDay = settings_.RotateDaily && LocalDay(sample.WallMs) != fileDay_;
  const bool full = !settings_.RotateDaily && settings_.RotateBytes > 0 && fileHasLines_ &&
                    fileBytes_ + line.size() > settings_.RotateBytes;
  if (newDay || full) {
    if (!Flush()) return;
    CloseFile();
    if (!OpenFile(sample.WallMs)) {
      Fail(failure_);
      return;
    }
  }
  pending_.append(line.data(), static_cast<qsizetype>(line.size()));
  fileBytes_ += line.size();
  fileHasLines_ = true;
  if (pending_.size() >= FlushBytes) Flush();
}

void TPollLog::Stop() {
  if (!running_) return;
  flushTimer_.stop();
  Flush();
  running_ = false;
  CloseFile();
}

bool TPollLog::Running() const { return running_; }

QString TPollLog::Failure() const { return failure_; }

QString TPollLog::FilePath() const { return path_; }

bool TPollLog::OpenFile(int64_t wallMs) {
  const QString stem = settings_.Folder + QStringLiteral("/talyx-poll-") +
                       QLocale::c().toString(QDateTime::fromMSecsSinceEpoch(wallMs),
                                             QStringLiteral("yyyyMMdd-HHmmss"));
  for (int n = 0; n < 1000; ++n) {
    const QString path =
        (n == 0 ? stem : stem + QLatin1Char('-') + QString::number(n)) + QStringLiteral(".csv");
    if (QFile::exists(path)) continue;
    file_.setFileName(path);
    if (!file_.open(QIODevice::WriteOnly | QIODevice::NewOnly | QIODevice::Unbuffered)) {
      if (QFile::exists(path)) continue;
      failure_ = tr("无法创建文件 %1：%2").arg(path, file_.errorString());
      return false;
    }
    path_ = path;
    fileDay_ = LocalDay(wallMs);
    fileHasLines_ = false;
    pending_.clear();
    if (settings_.Bom) pending_.append("\xEF\xBB\xBF");
    const std::string header =
        PollLogHeader(tr("时间").toStdString(), tr("行").toStdString(), columns_);
    pending_.append(header.data(), static_cast<qsizetype>(header.size()));
    fileBytes_ = static_cast<uint64_t>(pending_.size());
    return Flush();
  }
  failure_ = tr("无法创建文件 %1：%2").arg(stem, tr("同名文件太多"));
  return false;
}

bool TPollLog::Flush() {
  if (pending_.isEmpty() || !file_.isOpen()) return true;
  const qint64 written = file_.write(pending_);
  if (written != pending_.size()) {
    Fail(tr("无法写入 %1：%2").arg(path_, file_.errorString()));
    return false;
  }
  pending_.clear();
  return true;
}

void TPollLog::Fail(const QString& why) {
  const bool wasRunning = running_;
  failure_ = why;
  running_ = false;
  flushTimer_.stop();
  pending_.clear();
  CloseFile();
  if (wasRunning) emit Stopped();
}

void TPollLog::CloseFile() {
  if (file_.isOpen()) file_.close();
}

}  // namespace talyx::app
