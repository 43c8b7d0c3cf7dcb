// The terminal tools' own texts (tapewell-rec and tapewell-card: usage
// errors, input-file problems, notes and --help), in English and Japanese.
// The file line's texts live in the string table (recorder/string_table.h).
#pragma once

#include <initializer_list>
#include <string>

#include "recorder/split_options.h"
#include "recorder/string_table.h"

enum class CliTextId {
  // --help, both tools: CLI11's own labels and the help and version flags.
  kLabelUsage,        // "Usage"
  kLabelOptionsBadge, // "OPTIONS", in the usage line
  kLabelSubcommand,   // "SUBCOMMAND", in the usage line
  kLabelSubcommands,  // "SUBCOMMANDS", in the usage line
  kLabelPositionals,  // heading of the positional arguments
  kLabelRequired,     // "REQUIRED"
  kLabelNeeds,        // "Needs"
  kLabelExcludes,     // "Excludes"
  kLabelEnv,          // "Env"
  kLabelText,         // "TEXT", the type of a text argument
  kGroupOptions,      // heading of the options
  kGroupSubcommands,  // heading of the subcommands
  kHelpFlag,
  kVersionFlag,

  // tapewell-rec: --help.
  kRecDescription,
  kRecOptFolder,
  kRecOptRate,
  kRecOptAutoTrack,
  kRecOptLength,
  kRecOptLevel,
  kRecOptInput,
  kRecOptFast,
  kRecOptRealtime,
  kRecFooter,  // the keys, two examples and the exit status
  kRecOptDuration,
  kRecOptDevice,
  kRecOptListDevices,

  // tapewell-rec: usage errors. %1: the value as typed, unless noted.
  kRecParseError,    // %1: CLI11's own message
  kRecBadRate,
  kRecBadLength,
  kRecBadLevel,
  kRecBadDuration,
  kRecInputNeedsPath,
  kRecRateDiffers,   // %1: --rate, %2: the file's rate

  // tapewell-rec: input-file problems. %1: the path ("-": standard input).
  kRecInputCannotOpen,  // %2: libsndfile's or the system's reason
  kRecInputNoFrames,
  kRecInputLayout,      // %2: what cannot be kept, %3: a conversion command
  kRecInputChannels,    // %1: a channel count, inside kRecInputLayout's %2
  kRecInputShorterThanHeader,  // %2: frames held, %3: frames the header states
  kRecInputReadFailed,  // %2: the reason
  kRecInputBadRate,     // %2: the rate stated
  kRecInputCutShort,    // %2: frames read, %3: frames at the start

  // tapewell-rec: a track file that failed. %1: the path, %2: the reason.
  kRecCannotCreate,
  kRecCannotWrite,
  kRecOutOfMemory,
  kRecTrackFileLost,    // the open track file was deleted or moved
  kRecServerSlow,       // the sound server does not answer yet

  // tapewell-rec: the -w folder. %1: the folder as given.
  kRecFolderMade,
  kRecCannotMakeFolder,  // %2: the system's reason
  kRecFolderIsFile,      // %1: the file in the way, %2: the folder

  // tapewell-rec: the inputs. %1: the backend ("sound server", "PortAudio").
  kRecCannotListInputs,  // %2: the reason
  kRecNoInputs,
  kRecUnknownDevice,     // %2: the name given

  // tapewell-rec: progress, event lines, the track list and the dry run.
  kRecOptProgress,
  kRecOptQuiet,
  kRecOptCue,
  kRecOptLabels,
  kRecOptDryRun,
  kRecProgressTrack,     // %1: the track number
  kRecProgressDropped,   // %1: frames dropped
  kRecLinesDropped,      // %1: event lines dropped
  kRecWritingLast,       // %1: seconds still to write after a stop
  kRecGaveUp,            // %1: seconds, %2: frames given up on
  kRecDiskBehind,        // %1: seconds (the progress line and the caption)
  kTakeWritingLast,      // %1: seconds still to write after Stop (the window's caption)
  kTakeGaveUp,           // %1: seconds, %2: frames given up on by a second Stop (the window)
  kRecDiskCannotKeepUp,  // %1: seconds, %2: seconds of slack
  kRecCannotWriteList,   // %1: the path and the reason
  kRecListRetry,         // %1: the path and the reason
  kRecInputChanged,      // %1: the input's name (an event line, and the window's caption)
  kRecDryNeedsInput,
  kRecDryTrack,          // %1 number, %2 start, %3 first frame, %4 length, %5 frames, %6 what started it
  kRecDryStartRecording,
  kRecDryStartSilence,   // %1: seconds of silence
  kRecDryStartMark,
  kRecDryStartLimit,
  kRecDryEndsWithInput,
  kRecDryNoAutoTrack,
  kRecDryTooShort,       // %1 time, %2 frame, %3 seconds, %4 seconds short, %5 split length
  kRecDryLevelTooLow,    // %1 time, %2 frame, %3 seconds, %4 level, %5 threshold, %6 level that splits

  // tapewell-rec: the level rule, lead-in, minimum length, trim and end of side.
  kRecOptSilenceBelow,
  kRecOptLeadIn,
  kRecOptMinTrack,
  kRecOptTrim,
  kRecOptStopAfterSilence,
  kRecBadSilenceBelow,   // %1: as typed
  kRecBadLeadIn,         // %1: as typed
  kRecBadMinTrack,       // %1: as typed
  kRecBadStopAfterSilence,  // %1: as typed
  kRecLevelWithStillness,
  kRecTrimmed,           // %1 seconds before the first sound, %2 after the last
  kRecNothingHeard,
  kRecDrySeconds,        // %1 seconds
  kRecDryOneFrame,
  kRecDryFrames,         // %1 frames
  kRecDryThreshold,      // %1 dBFS
  kRecDryThresholdAuto,  // %1 dBFS, %2 the floor in dBFS
  kRecDryNoFloor,
  kRecDryInsideMinTrack,   // %1 time, %2 frame, %3 seconds, %4 the minimum in seconds
  kRecDryAboveThreshold,   // %1 time, %2 frame, %3 seconds, %4 dB above, %5 threshold, %6 threshold that splits

  // tapewell-card: --help.
  kCardDescription,
  kCardFooter,
  kCardOptPort,
  kCardOptSony,
  kCardCmdStatus,
  kCardCmdSource,
  kCardCmdMonitor,
  kCardArgState,

  // tapewell-card: usage errors and notes.
  kCardParseError,  // %1: CLI11's own message
  kCardBadPort,     // %1: the port as typed
  kCardMonitorNote,

  kCount  // not a text: the number of texts above
};

/// The text `id` in `language`, each %1..%9 replaced by the argument of that
/// number (arguments are not searched for placeholders again); a placeholder
/// without an argument stays as written. Empty for kCount.
std::string CliText(CliTextId id, Language language, std::initializer_list<std::string> args = {});

/// The usage error for a bad split option (--length, --level,
/// --silence-below, --lead-in, --min-track, --stop-after-silence) in
/// `language`, `typed` being the option's text as typed; "" for None.
std::string SplitOptionErrorText(SplitOptionError error, const std::string& typed, Language language);
