// folivane-pdf: prints a source to a PDF file exactly as folivane prints it, for scripts and tests.
#include <QCommandLineParser>
#include <QDateTime>
#include <QFile>
#include <cstdio>
#include <optional>

#include "app/paper.h"
#include "app/pdf_output.h"
#include "app/print_road.h"
#include "app/progress_meter.h"
#include "app/qt_session.h"
#include "app/qt_threads.h"
#include "app/startup.h"
#include "intake/file_errors.h"
#include "surface/pdf_surface.h"
#include "surface/painter_surface.h"

namespace {

using namespace folivane;

constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;
// The reader of the output left before the end, as the shell reports a death by SIGPIPE.
constexpr int kExitReaderLeft = 128 + 13;

const char kDescription[] =
    "Print a PureBasic source to a PDF file the way folivane prints it at 600 dpi: banner,\n"
    "header with logo, footer with date stamp and page number, numbered and wrapped lines.\n"
    "The IDE options block at the end of SOURCE is left out; SOURCE is never changed or deleted.\n"
    "\n"
    "SOURCE: a file, or a pipe or FIFO read to its end (\"-\" means standard input, and\n"
    "/dev/stdin or <(command) work too); a folder or a device is refused. SOURCE is read up to\n"
    "256 MiB and 16,000,000 lines; what lies beyond is left out, with a message.\n"
    "\n"
    "OUTPUT: the PDF is written to a temporary file beside OUTPUT and renamed over it only when\n"
    "it is whole, so a failure or an interruption leaves an old OUTPUT as it was. A symbolic\n"
    "link, or a chain of them, is followed to its last target, and every link stays. A pipe,\n"
    "FIFO or device gets the PDF as it is written; \"-\" means standard output.\n"
    "\n"
    "Exit status: 0 when the PDF was written, 1 when SOURCE cannot be read or holds nothing to\n"
    "print, when OUTPUT is SOURCE, when OUTPUT cannot be written whole, or when memory or\n"
    "threads run out, 2 for bad arguments, 141 when the reader of the PDF left before its end.";

// What the command line asks for, checked.
struct PdfJob {
  QByteArray source;  // the platform's own bytes, for file calls
  QByteArray output;
  std::optional<QString> sourceName;
  QString selection;
  std::optional<FontSize> fontSize;
  std::optional<HeaderPlacement> headerPlacement;
  LocalClock clock = SystemLocalClock();
  IntakeOptions intake;
  QPageSize paper = QPageSize(QPageSize::A4);
  QDateTime created = QDateTime::currentDateTime();  // for the document information
  bool qtEngine = false;
  bool quiet = false;
};

void Complain(const QString& message) { std::fprintf(stderr, "folivane-pdf: %s\n", qPrintable(message)); }

// The arguments as text for the parser. An argument whose bytes do not survive the way to text
// and back (a file name that is not UTF-8) stands in as a private-use mark and its index, so that
// SOURCE and OUTPUT keep their own bytes.
constexpr char16_t kRawArgument = u'\uE000';

QStringList ArgumentsAsText(const QList<QByteArray>& raw) {
  QStringList arguments;
  for (qsizetype i = 0; i < raw.size(); ++i) {
    const QString text = QFile::decodeName(raw[i]);
    const bool survives = QFile::encodeName(text) == raw[i];
    arguments.append(survives || raw[i].startsWith('-') ? text : QString(kRawArgument) + QString::number(i));
  }
  return arguments;
}

QByteArray RawBytes(const QString& argument, const QList<QByteArray>& raw) {
  if (argument.startsWith(kRawArgument)) return raw.value(argument.mid(1).toLongLong());
  return QFile::encodeName(argument);
}

template <typename Choice>
bool ReadChoice(const QCommandLineParser& parser, const QString& option,
                std::initializer_list<std::pair<const char*, Choice>> choices, std::optional<Choice>& field) {
  if (!parser.isSet(option)) return true;
  const QString value = parser.value(option);
  for (const auto& [name, choice] : choices) {
    if (value == QLatin1String(name)) {
      field = choice;
      return true;
    }
  }
  Complain(QStringLiteral("--%1 takes %2 or %3, not \"%4\"")
               .arg(option, choices.begin()->first, (choices.begin() + 1)->first, value));
  return false;
}

bool ReadClockEncodingAndPaper(const QCommandLineParser& parser, PdfJob& job) {
  if (parser.isSet("clock")) {
    const QDateTime moment = QDateTime::fromString(parser.value("clock"), Qt::ISODate);
    if (!moment.isValid()) {
      Complain(QStringLiteral("--clock takes YYYY-MM-DDTHH:MM:SS, not \"%1\"").arg(parser.value("clock")));
      return false;
    }
    job.clock = [moment] { return LocalTimeOf(moment); };
    job.created = moment;
  }
  if (parser.isSet("encoding")) {
    job.intake.encoding = parser.value("encoding").toLatin1();
    if (!IsKnownEncoding(job.intake.encoding)) {
      Complain(QStringLiteral("--encoding takes auto, utf-8 or a code page name such as windows-1252, "
                              "windows-1251, iso-8859-15, gbk, big5, shift_jis, euc-jp, euc-kr or "
                              "koi8-r, not \"%1\"")
                   .arg(parser.value("encoding")));
      return false;
    }
  }
  const QString systemPaper = parser.isSet("paper") ? QString() : SystemPaperName();
  const QString paperName = parser.isSet("paper")   ? parser.value("paper")
                            : systemPaper.isEmpty() ? QStringLiteral("A4")
                                                    : systemPaper;
  if (const std::optional<QPageSize> paper = PaperNamed(paperName)) {
    job.paper = *paper;
  } else if (parser.isSet("paper")) {
    Complain(QStringLiteral("--paper takes a paper name such as a4, letter or legal, not \"%1\"").arg(paperName));
    return false;
  } else {
    Complain(QStringLiteral("the system's paper \"%1\" is unknown; printing on A4").arg(paperName));
  }
  return true;
}

void DeclareOptions(QCommandLineParser& parser) {
  parser.setApplicationDescription(QString::fromLatin1(kDescription));
  parser.addOptions({
      {{"h", "help"}, "Show this help and exit."},
      {"version", "Show the version and exit."},
      {{"q", "quiet"}, "Show no progress (shown on a terminal for jobs that take more than a second)."},
      {"selection",
       "Print only the lines of the IDE selection TEXT (start line x start column x end line x "
       "end column, e.g. 12x1x20x5).",
       "TEXT"},
      {"font-size", "Body text size, regular or large (default: from the settings file).", "SIZE"},
      {"page-header",
       "Full header on every page or on the first only: every or first (default: from the "
       "settings file).",
       "WHERE"},
      {"source-name", "Show the file name of PATH in the header (default: SOURCE).", "PATH"},
      {"clock", "Use this local time, YYYY-MM-DDTHH:MM:SS, in the footer instead of the clock.", "TIME"},
      {"encoding",
       "How SOURCE is decoded: auto (the default: UTF-8 when it is, else the legacy code page "
       "detected), utf-8, or a code page such as windows-1252, windows-1251, gbk, big5, "
       "shift_jis.",
       "NAME"},
      {"paper",
       "Paper size, as a4, letter, legal, a5, b5, executive, ... in any case (default: the paper "
       "named by PAPERSIZE, else by /etc/papersize, else a4); the listing fills the page less a "
       "laser printer's margins (99 pixels at 600 dpi left and right, 119 at the top and the "
       "bottom).",
       "NAME"},
      {"engine",
       "Write the PDF with folivane's own writer, native (the default), or with Qt's PDF engine "
       "as the printing path draws, qt.",
       "ENGINE"},
  });
  parser.addPositionalArgument("SOURCE", "The PureBasic source to print, or - for standard input.");
  parser.addPositionalArgument("OUTPUT.pdf", "The PDF to write, or - for standard output.");
}

// The job the arguments ask for; nothing (after a message) when they do not fit the usage.
// `helpAsked` is set when the help was asked for.
std::optional<PdfJob> ParseArguments(const QList<QByteArray>& raw, bool& helpAsked) {
  QCommandLineParser parser;
  DeclareOptions(parser);
  QStringList arguments = ArgumentsAsText(raw);
  arguments.prepend(QStringLiteral("folivane-pdf"));
  if (!parser.parse(arguments)) {
    Complain(parser.errorText());
    return std::nullopt;
  }
  if (parser.isSet("help")) {
    helpAsked = true;
    std::fputs(qPrintable(parser.helpText()), stdout);
    return std::nullopt;
  }
  if (parser.isSet("version")) {
    helpAsked = true;
    std::fputs("folivane-pdf " FOLIVANE_VERSION "\n", stdout);
    return std::nullopt;
  }
  const QStringList files = parser.positionalArguments();
  if (files.size() != 2) {
    Complain(QStringLiteral("expected SOURCE and OUTPUT.pdf, got %1 file argument(s)").arg(files.size()));
    return std::nullopt;
  }
  PdfJob job;
  job.source = RawBytes(files[0], raw);
  job.output = RawBytes(files[1], raw);
  if (parser.isSet("source-name")) job.sourceName = QFile::decodeName(RawBytes(parser.value("source-name"), raw));
  job.selection = parser.value("selection");
  if (!ReadChoice(parser, "font-size", {std::pair{"regular", FontSize::Regular}, {"large", FontSize::Large}},
                  job.fontSize) ||
      !ReadChoice(parser, "page-header",
                  {std::pair{"every", HeaderPlacement::EveryPage}, {"first", HeaderPlacement::FirstPage}},
                  job.headerPlacement) ||
      !ReadClockEncodingAndPaper(parser, job)) {
    return std::nullopt;
  }
  const QString engine = parser.value("engine");
  if (!engine.isEmpty() && engine != u"native" && engine != u"qt") {
    Complain(QStringLiteral("--engine takes native or qt, not \"%1\"").arg(engine));
    return std::nullopt;
  }
  job.qtEngine = engine == u"qt";
  job.quiet = parser.isSet("quiet");
  return job;
}

// Reads SOURCE into the run's request; the exit code when it holds nothing to print.
std::optional<int> ReadSource(const PdfJob& job, RunState& state) {
  const QString shownSource = QFile::decodeName(job.source);
  state.request.sourcePath = job.sourceName.value_or(shownSource);
  state.request.selection = job.selection;
  if (const QString refused = ReadSourceFile(job.source, state.request.source, job.intake); !refused.isEmpty()) {
    Complain(QStringLiteral("cannot read %1: %2")
                 .arg(job.source == "-" ? QStringLiteral("standard input") : shownSource, refused));
    return kExitFailure;
  }
  if (state.request.source.cutShort) {
    Complain(QStringLiteral("%1 is longer than %2 MiB or %3 lines; the rest is left out")
                 .arg(shownSource)
                 .arg(kMaxCopyBytes / (1024 * 1024))
                 .arg(kMaxCopyLines));
  }
  if (state.request.source.lines.isEmpty()) {
    Complain(QStringLiteral("%1 holds no line before its IDE options block: nothing to print").arg(shownSource));
    return kExitFailure;
  }
  if (const QString missing = DescribeCharactersWithoutGlyph(state.request); !missing.isEmpty()) Complain(missing);
  return std::nullopt;
}

int Render(const PdfJob& job, RunState& state) {
  ProgressMeter meter(!job.quiet && StandardErrorIsTerminal());
  state.request.progress = [&meter](const JobProgress& progress) { meter.Report(progress); };
  QString error;
  const std::unique_ptr<PdfOutput> output = PdfOutput::Prepare(job.output, IdentityOf(job.source), error);
  if (!output) {
    Complain(error);
    return kExitFailure;
  }
  bool whole = false;
  if (job.qtEngine) {
    // Qt's engine says nothing of its writes; the output's device does.
    std::unique_ptr<PainterSurface> pdf = PainterSurface::ForPdf(output->Device(), job.paper);
    PrintSource(state, *pdf, job.clock);
    pdf->CloseJob();
    whole = pdf->JobEnded();
  } else {
    PdfSurface pdf(output->Device(), job.paper, PdfPrintableArea(job.paper), job.created);
    PrintSource(state, pdf, job.clock);
    whole = pdf.Written();
  }
  meter.Finish();
  if (!output->Deliver(whole, error)) {
    if (error.isEmpty()) return kExitReaderLeft;
    Complain(error);
    return kExitFailure;
  }
  return 0;
}

// Runs `work`; what it throws ends as a message and exit code 1.
template <typename Work>
int Reporting(Work work) {
  try {
    return work();
  } catch (const std::bad_alloc&) {
    // Said without allocating.
    std::fputs("folivane-pdf: out of memory\n", stderr);
  } catch (const std::exception& error) {
    Complain(QString::fromLocal8Bit(error.what()));
  } catch (...) {
    Complain(QStringLiteral("unexpected failure"));
  }
  return kExitFailure;
}

int Run(int argc, char** argv) {
  QList<QByteArray> arguments;
  for (int i = 1; i < argc; ++i) arguments.append(QByteArray(argv[i]));
  // Qt starts first: the help text names the program as Qt knows it.
  const QtSession qt = QtSession::Batch("folivane-pdf");

  bool helpAsked = false;
  const std::optional<PdfJob> job = ParseArguments(arguments, helpAsked);
  if (!job) {
    if (helpAsked) return 0;
    std::fputs("Try 'folivane-pdf --help'.\n", stderr);
    return kExitUsage;
  }

  QtThreads threads;
  const int code = Reporting([&] {
    RunState state;
    state.request.displayDpi = 96;
    state.settingsDirectory = SettingsDirectory();
    state.settings = LoadSettings(SettingsFilePath(state.settingsDirectory));
    state.settings.fontSize = job->fontSize.value_or(state.settings.fontSize);
    state.settings.headerPlacement = job->headerPlacement.value_or(state.settings.headerPlacement);
    if (const std::optional<int> failed = ReadSource(*job, state)) return *failed;
    threads = StartQtThreads();
    if (threads.started == 0) {
      Complain(QStringLiteral("cannot start a thread (too many processes, or too little memory)"));
      return kExitFailure;
    }
    return Render(*job, state);
  });
  // Qt's pool, and the application's end with it, would wait for the thread that never started.
  if (threads.stranded) EndProcess(code);
  return code;
}

}  // namespace

int main(int argc, char** argv) {
  return Reporting([&] { return Run(argc, argv); });
}
