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
#include "sync/file_ops.h"
#include "sync/holder.h"

namespace keldar {
namespace {

// What is to be done about one entry.
enum class Kind { kCopy, kAskCopy, kDelete, kAskDelete, kInPlace };

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
  Finisher(Context& ctx, Counters& n) : ctx_(ctx), n_(n), since_(ctx.clock.now()) {}

  // A copy into the object folder is waiting for the disk.
  void copied() { unflushed_ = true; }

  void finish(Outcome outcome) {
    if (!pending_.empty() || (outcome.done_everywhere && unflushed_)) {
      pending_.push_back(std::move(outcome));
      if (pending_.size() >= kBatch || ctx_.clock.now() - since_ >= kSeconds) drain();
      return;
    }
    apply(outcome, err::kOk);
  }

  // Settles every waiting entry; called before anything else is logged or
  // asked, and at the end.
  void drain() {
    if (pending_.empty()) return;
    const int flushed = ctx_.fs.flush();
    unflushed_ = false;
    since_ = ctx_.clock.now();
    for (Outcome& outcome : pending_) apply(outcome, flushed);
    pending_.clear();
    if (flushed != err::kOk) log_system_error(ctx_.log, flushed);
  }

 private:
  static constexpr std::size_t kBatch = 2000;
  static constexpr std::int64_t kSeconds = 2;

  void apply(Outcome& outcome, int flushed) {
    // Nothing is taken as done, or removed, on a carrier that is gone.
    if (!carrier_in_place(ctx_)) return;
    ListEntry& e = ctx_.list().entries[outcome.index];
    if (outcome.done_everywhere) {
      if (!outcome.carrier_copy) {
        outcome.state = entry_state::kNone;  // a command: dropped
        outcome.marker += "x ";
        ++n_.removed;
      } else if (flushed == err::kOk && delete_entry(ctx_, outcome.index, true) == 0) {
        outcome.state = entry_state::kNone;
        outcome.marker += "x ";
        ++n_.removed;
      } else {
        outcome.marker += "e ";
      }
    } else if (outcome.log_it) {
      outcome.marker += "  ";
    }
    const int me = ctx_.computer;
    if (outcome.state != e.state || outcome.list_stamp != e.list_stamps[me]) {
      e.state = outcome.state;
      e.list_stamps[me] = outcome.list_stamp;
      ctx_.list().dirty = true;
    }
    if (outcome.log_it) log_marked(ctx_.log, outcome.marker, e.name());
  }

  Context& ctx_;
  Counters& n_;
  bool unflushed_ = false;
  std::vector<Outcome> pending_;
  std::int64_t since_;  // when the disk was last flushed (or the pass began)
};

std::string time_text(Context& ctx, std::uint32_t value) {
  bool daylight_now = ctx.log.daylight();
  return timestamp_text(value, ctx.clock, daylight_now);
}

// The question about entry `e`: the object, the file, what changed and what
// the carrier offers, one item a line.
std::string question_text(Context& ctx, const ListEntry& e, bool changed_here, std::uint32_t o,
                          std::uint32_t r, std::uint32_t k, bool copy_question) {
  const std::string crlf = "\r\n";
  std::string text = cp1251("Объект: ") + ctx.object().path(ctx.computer);
  text += crlf + cp1251("Файл: ") + std::string(e.name());
  if (!changed_here) {
    text += crlf + cp1251("заменяется с носителя:");
    text += crlf + cp1251("в объекте: ") + time_text(ctx, o);
  } else {
    text += crlf + cp1251("был изменен в объекте:");
    text += crlf + cp1251("раньше: ") + time_text(ctx, r);
    text += crlf + cp1251("сейчас: ") + time_text(ctx, o);
  }
  if (copy_question) {
    text += crlf + cp1251("на носителе: ") + time_text(ctx, k);
    text += crlf + cp1251("Копировать файл с носителя в объект?");
  } else {
    text += crlf + cp1251("Удалить файл из объекта?");
  }
  return text;
}

// The stamp that the object folder's file of entry `i` has now; 0 when it
// is gone or cannot be read.
std::uint32_t current_object_stamp(Context& ctx, std::size_t i) {
  std::uint32_t stamp = 0;
  (void)object_stamp_now(ctx, i, stamp);
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

}  // namespace

long action1(Context& ctx) {
  if (!ctx.lists.held() || ctx.computer < 0 || ctx.current_object < 0 ||
      ctx.current_object >= static_cast<int>(ctx.lists.size())) {
    return -1;
  }
  Counters n;
  Finisher finisher(ctx, n);
  FileList& list = ctx.list();
  const int me = ctx.computer;
  const std::string copy_caption = cp1251("Копирование с носителя");
  const std::string delete_caption = cp1251("Удаление файла");
  if (ctx.rebuild) forget_removed_files(list, me);

  for (std::size_t i = list.entries.size(); i-- > 0;) {
    if (!ctx.queue.running()) break;
    // The file operations change this entry's stamps but never add entries,
    // so the reference stays valid.
    ListEntry& e = list.entries[i];
    std::uint8_t s = e.state;
    const std::uint32_t k = e.carrier_stamp;
    std::uint32_t r = e.list_stamps[me];

    // Settles the entry now (nothing to wait for) or hands it to the
    // finisher; returns nothing when the entry is settled here.
    std::optional<Outcome> outcome = [&]() -> std::optional<Outcome> {
      if (e.unsafe) return {};
      // Selection. Only 0xFF is a delete command; a state that no computer
      // writes (a damaged list) is reported, and nothing is done about it.
      const bool command = s == entry_state::kDelete;
      if (s > entry_state::kUnknownOrigin && !command) {
        finisher.drain();
        ctx.log.line(cp1251("Запись списка повреждена (состояние ") + std::to_string(s) +
                     cp1251("), не обрабатывается: ") + std::string(e.name()));
        return {};
      }
      if (!command && s != entry_state::kNone && k == 0) {
        s = entry_state::kNone;  // the carrier copy is gone
        return {};
      }
      if (s == entry_state::kNone && k == 0) return {};
      if (!command && s == me + 1 && e.object_stamp == 0 && r != 0) {
        // This computer's own copy waits on the carrier while the file was
        // deleted here since: the deletion is newer. Action 2 turns it into
        // a delete command; taking the copy as in place would forget it.
        return {};
      }
      if (s == entry_state::kNone) s = entry_state::kUnknownOrigin;

      std::string marker = "--";
      std::uint32_t o = e.object_stamp;
      const MaskPermissions allowed = mask_permissions(ctx.masks, e.name(), ctx.force);
      bool ask_replace = false;
      bool ask_delete = false;
      if (allowed.mask >= 0) {
        ask_replace = ctx.masks.record(allowed.mask).ask_before_replacing();
        ask_delete = ctx.masks.record(allowed.mask).ask_before_deleting();
      }
      bool changed_here = stamp_difference(o, r) != 0;
      const std::int32_t carrier_vs_object = stamp_difference(k, o);
      const bool carrier_as_record = stamp_difference(k, r) == 0;

      ++n.examined;
      Kind kind;
      bool warning = false;
      if (!command) {
        if (!allowed.copy) return {};
        if (carrier_vs_object == 0 || carrier_as_record) {
          kind = Kind::kInPlace;
        } else if (changed_here || carrier_vs_object < 0) {
          kind = Kind::kAskCopy;
          warning = true;
        } else if (o != 0 && ask_replace) {
          kind = Kind::kAskCopy;
        } else {
          kind = Kind::kCopy;
        }
      } else {
        if (!allowed.remove) return {};
        if (o == 0) {
          kind = Kind::kInPlace;
        } else if (changed_here) {
          kind = Kind::kAskCopy;
          warning = true;
        } else if (ask_delete) {
          kind = Kind::kAskDelete;
        } else {
          kind = Kind::kDelete;
        }
      }
      if (e.is_folder() && (kind == Kind::kAskCopy || kind == Kind::kAskDelete)) {
        // A folder's time changes whenever a file comes or goes in it: one
        // that changed here or is newer here is in place, and no question
        // is ever asked about a folder.
        kind = Kind::kInPlace;
      }

      // The user declined the carrier's version: it leaves the carrier.
      auto decline_copy = [&] {
        finisher.drain();
        marker = "RC";
        if (delete_entry(ctx, i, true) == 0) {
          s = entry_state::kNone;
          marker += "x ";
        } else {
          marker += "e ";
        }
        log_marked(ctx.log, marker, e.name());
      };
      // The object's file changed after the scan saw it: take what it is now
      // and ask as for any file changed here. False when nothing more is to
      // be done for the entry (declined or cancelled).
      auto confirm_changed = [&]() -> bool {
        o = e.object_stamp = current_object_stamp(ctx, i);
        changed_here = true;
        finisher.drain();
        switch (
            ctx.host.ask(question_text(ctx, e, true, o, r, k, true), copy_caption, true, true)) {
          case Answer::kYes:
            return true;
          case Answer::kNo:
            decline_copy();
            return false;
          case Answer::kCancel:
            break;
        }
        ctx.queue.request_stop();
        return false;
      };

      if (kind == Kind::kAskCopy || kind == Kind::kAskDelete) {
        const bool copy_question = kind == Kind::kAskCopy;
        finisher.drain();
        const Answer answer = ctx.host.ask(
            question_text(ctx, e, changed_here, o, r, k, copy_question),
            copy_question ? copy_caption : delete_caption, copy_question && warning, true);
        if (answer == Answer::kCancel) {
          ctx.queue.request_stop();
          return {};
        }
        if (answer == Answer::kNo) {
          if (copy_question) {
            decline_copy();
          } else {
            s = entry_state::kNone;  // the command is dropped for this object
            log_marked(ctx.log, "RDx ", e.name());
          }
          return {};
        }
        kind = copy_question ? Kind::kCopy : Kind::kDelete;
      }

      if (kind == Kind::kDelete) {
        int code = delete_entry(ctx, i, false);
        if (code == kChangedSinceScan) {
          if (current_object_stamp(ctx, i) == 0) {
            // Gone since the scan: nothing left to delete.
            e.object_stamp = 0;
            o = 0;
            kind = Kind::kInPlace;
            code = 0;
          } else if (confirm_changed()) {
            kind = Kind::kCopy;
          } else {
            return {};
          }
        }
        if (kind == Kind::kDelete) {
          if (code != 0) {
            finisher.drain();
            log_marked(ctx.log, "ERD=", e.name());
            log_system_error(ctx.log, code);
            return {};
          }
          marker = "x=";
          ++n.deleted;
          o = 0;
        }
      }

      if (kind == Kind::kCopy) {
        int code = copy_entry(ctx, i, true);
        if (code == kChangedSinceScan) {
          if (!confirm_changed()) return {};
          code = copy_entry(ctx, i, true);
        }
        if (code != 0) {
          finisher.drain();
          log_marked(ctx.log, "ERC=", e.name());
          log_system_error(ctx.log, code);
          return {};
        }
        finisher.copied();
        if (o != 0) {
          marker = "<=";
          ++n.replaced;
        } else {
          marker = "+=";
          ++n.added;
        }
        o = e.object_stamp;
        if (ctx.rebuild && s == me + 1) {
          // This computer's own copy came back: it has its version again,
          // and the clean-up must see that version as the sender's.
          e.list_stamps[me] = o;
        }
      }

      // Clean-up: applied here (or found applied); does anyone else need it?
      Outcome result;
      result.index = i;
      result.marker = marker;
      result.done_everywhere = holder_rule(ctx, list, e, true) == 0;
      result.carrier_copy = k != 0;
      result.log_it = result.done_everywhere || !carrier_as_record;
      result.state = s;
      result.list_stamp = o;
      return result;
    }();

    if (outcome) {
      finisher.finish(std::move(*outcome));
    } else if (s != e.state || r != e.list_stamps[me]) {
      e.state = s;
      e.list_stamps[me] = r;
      list.dirty = true;
    }
    ctx.progress.show(static_cast<long>(i));
  }

  finisher.drain();
  ctx.progress.clear();
  const bool stopped = !ctx.queue.running();
  if (stopped) {
    ctx.log.line(cp1251("Копирование с носителя прервано ") + std::string(43, '-'));
  } else {
    ctx.log.line(std::string(76, '-'));
  }
  char line[200];
  std::snprintf(line, sizeof line,
                cp1251("Просмотрено файлов и команд на носителе %ld, добавлено %ld,").c_str(),
                n.examined, n.added);
  ctx.log.line(line);
  std::snprintf(line, sizeof line,
                cp1251("заменено %ld, удалено %ld, удалено с носителя %ld").c_str(), n.replaced,
                n.deleted, n.removed);
  ctx.log.line(line);
  if (!stopped && list.states[me] < 2) {
    list.raise_state(me, 2);
    list.dirty = true;
  }
  return n.examined;
}

}  // namespace keldar
