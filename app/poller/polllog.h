// TPollLog: the CSV log of every poll, for the report.
//
// Principles of operation:
// - RFC 4180: ',' between fields, '.' as the decimal point whatever the locale, fields quoted
//   when they hold ',', '"' or a line end; lines end in CR LF. UTF-8, with a BOM when asked, so
//   spreadsheet programs open it without asking for the character set.
// - Columns: the time (ISO 8601 local time with milliseconds and the zone's offset), the row
//   (from 1), then one column per named register of every enabled row of the poll set, in the
//   set's order. A line is one poll: the cells of the registers of other rows, and of a poll
//   that failed, are empty.
// - Written lines reach the file at least once a second (a timer flushes).
// - A new file starts each day or when the file passes its size (the option), and whenever the
//   poll set's columns change; file names carry the date and time they started.
// - A write that fails stops the log; Failure says why.
// - Main thread only.
#pragma once

#include <QByteArray>
#include <QDate>
#include <QFile>
#include <QObject>
#include <QString>
#include <QTimer>
#include <cstdint>
#include <vector>

#include "app/poller/polllogformat.h"
#include "app/poller/pollsample.h"
#include "app/poller/pollset.h"

namespace talyx::app {

// $XDG_DATA_HOME/talyx/polllogs (~/.local/share/talyx/polllogs without it): where the files go
// when the settings name no folder.
QString DefaultPollLogFolder();

struct TPollLogSettings {
  QString Folder;            // where the files go (empty: DefaultPollLogFolder)
  bool Bom = false;          // a UTF-8 BOM at the start of each file
  bool RotateDaily = true;   // a new file each day; else by size
  uint64_t RotateBytes = 0;  // by size: a new file past this many bytes (0: never)

  bool operator==(const TPollLogSettings&) const = default;
};

class TPollLog : public QObject {
  Q_OBJECT

 public:
  explicit TPollLog(TPollLogSettings settings, QObject* parent = nullptr);
  ~TPollLog() override;

  // Starts the log for this poll set; false when the first file cannot be made (Failure).
  bool Start(const PollSet& set);
  // The poll set changed: a new file when its columns differ.
  void SetPollSet(const PollSet& set);
  void Add(const TPollSample& sample);
  // Writes what is held and closes the file.
  void Stop();
  bool Running() const;
  QString Failure() const;
  // The file being written, or the last one.
  QString FilePath() const;

 signals:
  // The log stopped by itself (a write failed).
  void Stopped();

 private:
  // Opens the next file, named after `wallMs`, for the columns held, and writes its header.
  bool OpenFile(int64_t wallMs);
  // Writes the lines held to the file; false (and the log stopped) when the write fails.
  bool Flush();
  void Fail(const QString& why);
  void CloseFile();

  TPollLogSettings settings_;
  std::vector<PollLogColumn> columns_;
  size_t rows_ = 0;  // rows of the poll set; samples of other rows are not logged
  QFile file_;
  QByteArray pending_;      // lines not yet written
  uint64_t fileBytes_ = 0;  // written and pending bytes of the current file
  bool fileHasLines_ = false;
  QDate fileDay_;  // the local day the current file started
  QTimer flushTimer_;
  bool running_ = false;
  QString failure_;
  QString path_;
};

}  // namespace talyx::app
