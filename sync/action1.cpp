// Action 1: what the other computers put on the carrier comes into the
// current object. Files in transit are copied into the object folder, delete
// commands delete, and whatever no other participating computer still needs
// is then removed from the carrier.
#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "lists/compare.h"
#include "lists/masks.h"
#include "lists/scan.h"
#include "lists/stamps.h"
#include "platform/errors.h"
#include "platform/text.h"
#include "sync/actions.h"
#include "sync/decisions.h"
#include "sync/file_ops.h"
#include "sync/holder.h"

namespace keldar {
namespace {

struct Counters {
  long examined = 0;
  long added = 0;
  long replaced = 0;
  long deleted = 0;
  long removed = 0;  // carrier files deleted and commands dropped
};

// The end of an entry's work: its marker so far, whether what it brought is
// now needed by no one else, and the state and list stamp it leaves.
struct Outcome {
  std::size_t index = 0;
  std::string marker;
  bool done_everywhere = false;  // no other computer needs the carrier's copy
  bool carrier_copy = false;     // a file on the carrier, not a command
  bool log_it = true;
  std::uint8_t state = 0;
  std::uint32_t list_stamp = 0;
};

// Carrier copies that were just copied into the object folder leave the
// carrier only once the copies are on the disk: a computer that stops
// before that still finds them on the carrier. The object folder's disk is
// flushed once for many entries (or every two seconds, for big files); the
// entries' log lines wait with them, so the log keeps the order of the
// entries.
class Finisher {
 public:
  Finisher(Env& env, const ObjectRun& run, Counters& n, CopyPass& pass)
      : env_(env), run_(run), n_(n), pass_(pass), since_(env.clock.now()) {}

  // A copy into the object folder is waiting for the disk.
  void copied() { unflushed_ = true; }

  void finish(Outcome outcome) {
    if (!pending_.empty() || (outcome.done_everywhere && unflushed_)) {
      pending_.push_back(std::move(outcome));
      if (pending_.size() >= kBatch || env_.clock.now() - since_ >= kSeconds) drain();
      return;
    }
    apply(outcome, err::kOk);
  }

  // Settles every waiting entry; called before anything else is logged or
  // asked, and at the end.
  void drain() {
    if (pending_.empty()) return;
    const int flushed = env_.fs.flush();
    unflushed_ = false;
    since_ = env_.clock.now();
    for (Outcome& outcome : pending_) apply(outcome, flushed);
    pending_.clear();
    if (flushed != err::kOk) log_system_error(env_.log, flushed);
  }

 private:
  static constexpr std::size_t kBatch = 2000;
  static constexpr std::int64_t kSeconds = 2;

  void apply(Outcome& outcome, int flushed) {
    // Nothing is taken as done, or removed, on a carrier that is gone.
    if (!carrier_in_place(env_, run_.carrier)) return;
    ListEntry& e = run_.list.entries[outcome.index];
    if (outcome.done_everywhere) {
      if (!outcome.carrier_copy) {
        outcome.state = entry_state::kNone;  // a command: dropped
        outcome.marker += "x ";
        ++n_.removed;
      } else if (flushed == err::kOk &&
                 delete_entry(env_, run_, outcome.index, true, &pass_) == 0) {
        outcome.state = entry_state::kNone;
        outcome.marker += "x ";
        ++n_.removed;
      } else {
        outcome.marker += "e ";
      }
    } else if (outcome.log_it) {
      outcome.marker += "  ";
    }
    const int me = run_.computer;
    if (outcome.state != e.state || outcome.list_stamp != e.list_stamps[me]) {
      e.state = outcome.state;
      e.list_stamps[me] = outcome.list_stamp;
      run_.list.dirty = true;
    }
    if (outcome.log_it) log_marked(env_.log, outcome.marker, e.name());
  }

  Env& env_;
  const ObjectRun& run_;
  Counters& n_;
  CopyPass& pass_;
  bool unflushed_ = false;
  std::vector<Outcome> pending_;
  std::int64_t since_;  // when the disk was last flushed (or the pass began)
};

std::string time_text(Env& env, std::uint32_t value) {
  bool daylight_now = env.log.daylight();
  return timestamp_text(value, env.clock, daylight_now);
}

// The question about entry `e`: the object, the file, what changed and what
// the carrier offers, one item a line.
std::string question_text(Env& env, const ObjectRun& run, const ListEntry& e, bool changed_here,
                          std::uint32_t o, std::uint32_t r, std::uint32_t k, bool copy_question) {
  const std::string crlf = "\r\n";
  std::string text = cp1251("Объект: ") + run.record.path(run.computer);
  text += crlf + cp1251("Файл: ") + std::string(e.name());
  if (!changed_here) {
    text += crlf + cp1251("заменяется с носителя:");
    text += crlf + cp1251("в объекте: ") + time_text(env, o);
  } else {
    text += crlf + cp1251("был изменен в объекте:");
    text += crlf + cp1251("раньше: ") + time_text(env, r);
    text += crlf + cp1251("сейчас: ") + time_text(env, o);
  }
  if (copy_question) {
    text += crlf + cp1251("на носителе: ") + time_text(env, k);
    text += crlf + cp1251("Копировать файл с носителя в объект?");
  } else {
    text += crlf + cp1251("Удалить файл из объекта?");
  }
  return text;
}

// The stamp that the object folder's file of entry `i` has now; 0 when it
// is gone or cannot be read.
std::uint32_t current_object_stamp(Env& env, const ObjectRun& run, std::size_t i) {
  std::uint32_t stamp = 0;
  (void)object_stamp_now(env, run, i, stamp);
  return stamp;
}

// Replace object emptied the object folder before the lists were filled:
// what it removed is not a deletion of the user's and must never travel as
// a delete command. This computer simply has no such item now, so every
// copy that the carrier holds is brought back (this computer's own that
// wait there for others included), and the other computers send the rest
// again.
void forget_removed_files(FileList& list, int me) {
  for (ListEntry& e : list.entries) {
    if (!e.unsafe && e.object_stamp == 0 && e.list_stamps[me] != 0) {
      e.list_stamps[me] = 0;
      list.dirty = true;
    }
  }
}

// One pass of Action 1 over the current object's list.
class Action1Pass {
 public:
  Action1Pass(Env& env, const ObjectRun& run)
      : env_(env), run_(run), list_(run.list), me_(run.computer), finisher_(env, run, n_, pass_) {}

  long run() {
    if (run_.rebuild) forget_removed_files(list_, me_);
    for (std::size_t i = list_.entries.size(); i-- > 0;) {
      if (env_.stop.pending()) break;
      entry(i);
      env_.progress.show(static_cast<long>(i));
    }
    finisher_.drain();
    env_.progress.clear();
    summary();
    return n_.examined;
  }

 private:
  // The working copies of one entry: its state S, its object stamp O (which
  // changes when the file is copied or deleted), the carrier stamp K, this
  // computer's list stamp R, and the marker of its log line so far.
  struct Work {
    std::size_t i = 0;
    std::uint8_t s = 0;
    std::uint32_t o = 0;
    std::uint32_t k = 0;
    std::uint32_t r = 0;
    std::string marker = "--";
  };

  // Settles entry `i` now (nothing to wait for) or hands it to the finisher.
  void entry(std::size_t i) {
    ListEntry& e = list_.entries[i];
    Work w{i, e.state, e.object_stamp, e.carrier_stamp, e.list_stamps[me_]};
    std::optional<Outcome> outcome;
    if (!e.unsafe) outcome = act(w);
    if (outcome) {
      finisher_.finish(std::move(*outcome));
    } else if (w.s != e.state || w.r != e.list_stamps[me_]) {
      e.state = w.s;
      e.list_stamps[me_] = w.r;
      list_.dirty = true;
    }
  }

  // Decides and carries out what the entry needs; nothing when the entry
  // is settled without the clean-up.
  std::optional<Outcome> act(Work& w) {
    ListEntry& e = list_.entries[w.i];
    const MaskPermissions allowed = mask_permissions(run_.masks, e.name(), run_.force);
    Action1Facts facts{w.s, w.o, w.k, w.r, me_, e.is_folder(), allowed.copy, allowed.remove};
    if (allowed.mask >= 0) {
      facts.ask_replace = run_.masks.record(allowed.mask).ask_before_replacing();
      facts.ask_delete = run_.masks.record(allowed.mask).ask_before_deleting();
    }
    Action1Choice c = choose_action1(facts);
    w.s = c.state;
    switch (c.step) {
      case Action1Step::kDamaged:
        finisher_.drain();
        env_.log.line(cp1251("Запись списка повреждена (состояние ") + std::to_string(e.state) +
                      cp1251("), не обрабатывается: ") + std::string(e.name()));
        return {};
      case Action1Step::kPass:
      case Action1Step::kCopyGone:
      case Action1Step::kLeave:
        return {};
      default:
        break;
    }
    ++n_.examined;
    if (c.step == Action1Step::kNotPermitted) return {};
    if ((c.step == Action1Step::kAskCopy || c.step == Action1Step::kAskDelete) && !answer(w, c)) {
      return {};
    }
    if (c.step == Action1Step::kDelete && !remove_here(w, c.step)) return {};
    if (c.step == Action1Step::kCopy && !bring_here(w)) return {};
    return clean_up(w, c);
  }

  // Asks the entry's question; on Да the step becomes a copy or a delete.
  // False when nothing more is to be done (declined, or cancelled).
  bool answer(Work& w, Action1Choice& c) {
    const bool copy_question = c.step == Action1Step::kAskCopy;
    finisher_.drain();
    const Answer answer =
        env_.host.ask(question(w, c.changed_here, copy_question),
                      cp1251(copy_question ? "Копирование с носителя" : "Удаление файла"),
                      copy_question && c.warning, true);
    if (answer == Answer::kYes) {
      c.step = copy_question ? Action1Step::kCopy : Action1Step::kDelete;
      return true;
    }
    if (answer == Answer::kCancel) {
      env_.stop.request();
    } else if (copy_question) {
      decline_copy(w);
    } else {
      w.s = entry_state::kNone;  // the command is dropped for this object
      log_marked(env_.log, "RDx ", list_.entries[w.i].name());
    }
    return false;
  }

  // The user declined the carrier's version: it leaves the carrier.
  void decline_copy(Work& w) {
    finisher_.drain();
    std::string marker = "RC";
    if (delete_entry(env_, run_, w.i, true, &pass_) == 0) {
      w.s = entry_state::kNone;
      marker += "x ";
    } else {
      marker += "e ";
    }
    log_marked(env_.log, marker, list_.entries[w.i].name());
  }

  // The object's file changed after the scan saw it: take what it is now
  // and ask as for any file changed here. False when nothing more is to be
  // done for the entry (declined or cancelled).
  bool confirm_changed(Work& w) {
    w.o = list_.entries[w.i].object_stamp = current_object_stamp(env_, run_, w.i);
    Action1Choice c;
    c.step = Action1Step::kAskCopy;
    c.changed_here = c.warning = true;
    return answer(w, c);
  }

  // Deletes the object's file. A file that changed since the scan turns the
  // deletion into the conflict question (Да copies the carrier's version:
  // `step` becomes kCopy); one that is gone is in place. False when the
  // entry is settled.
  bool remove_here(Work& w, Action1Step& step) {
    int code = delete_entry(env_, run_, w.i, false, &pass_);
    if (code == kChangedSinceScan) {
      if (current_object_stamp(env_, run_, w.i) != 0) {
        if (!confirm_changed(w)) return false;
        step = Action1Step::kCopy;
        return true;
      }
      list_.entries[w.i].object_stamp = w.o = 0;  // gone since the scan
      step = Action1Step::kInPlace;
      return true;
    }
    if (code != 0) {
      log_failure("ERD=", w.i, code);
      return false;
    }
    w.marker = "x=";
    ++n_.deleted;
    w.o = 0;
    return true;
  }

  // Copies the carrier's file into the object folder, asking first when
  // the object's file changed since the scan. False when the entry is
  // settled.
  bool bring_here(Work& w) {
    int code = copy_entry(env_, run_, w.i, true, &pass_);
    if (code == kChangedSinceScan) {
      if (!confirm_changed(w)) return false;
      code = copy_entry(env_, run_, w.i, true, &pass_);
    }
    if (code != 0) {
      log_failure("ERC=", w.i, code);
      return false;
    }
    finisher_.copied();
    w.marker = w.o != 0 ? "<=" : "+=";
    ++(w.o != 0 ? n_.replaced : n_.added);
    ListEntry& e = list_.entries[w.i];
    w.o = e.object_stamp;
    if (run_.rebuild && w.s == me_ + 1) {
      // This computer's own copy came back: it has its version again, and
      // the clean-up must see that version as the sender's.
      e.list_stamps[me_] = w.o;
    }
    return true;
  }

  // Applied here (or found applied): does anyone else need it?
  Outcome clean_up(const Work& w, const Action1Choice& c) {
    Outcome result;
    result.index = w.i;
    result.marker = w.marker;
    result.done_everywhere = holder_rule(run_, list_.entries[w.i], true) == 0;
    result.carrier_copy = w.k != 0;
    result.log_it = result.done_everywhere || !c.carrier_as_record;
    result.state = w.s;
    result.list_stamp = w.o;
    return result;
  }

  void log_failure(const char* marker, std::size_t i, int code) {
    finisher_.drain();
    log_marked(env_.log, marker, list_.entries[i].name());
    log_system_error(env_.log, code);
  }

  std::string question(const Work& w, bool changed_here, bool copy_question) {
    return question_text(env_, run_, list_.entries[w.i], changed_here, w.o, w.r, w.k,
                         copy_question);
  }

  void summary() {
    const bool stopped = env_.stop.pending();
    if (stopped) {
      env_.log.line(cp1251("Копирование с носителя прервано ") + std::string(43, '-'));
    } else {
      env_.log.line(std::string(76, '-'));
    }
    char line[200];
    std::snprintf(line, sizeof line,
                  cp1251("Просмотрено файлов и команд на носителе %ld, добавлено %ld,").c_str(),
                  n_.examined, n_.added);
    env_.log.line(line);
    std::snprintf(line, sizeof line,
                  cp1251("заменено %ld, удалено %ld, удалено с носителя %ld").c_str(), n_.replaced,
                  n_.deleted, n_.removed);
    env_.log.line(line);
    if (!stopped && list_.states[me_] < 2) {
      list_.raise_state(me_, 2);
      list_.dirty = true;
    }
  }

  Env& env_;
  const ObjectRun& run_;
  FileList& list_;
  const int me_;
  Counters n_;
  CopyPass pass_;  // what the copies and deletions of this pass learnt of the disk
  Finisher finisher_;
};

}  // namespace

long action1(Env& env, const ObjectRun& run) {
  if (run.computer < 0) return -1;
  return Action1Pass(env, run).run();
}

}  // namespace keldar
