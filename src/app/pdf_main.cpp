// folivane-pdf: prints a source to a PDF file exactly as folivane prints it, for scripts and tests.
#include <QDateTime>
#include <QFile>
#include <cstdio>
#include <sys/stat.h>

#include "app/paper.h"
#include "app/pdf_output.h"
#include "app/print_road.h"
#include "app/qt_session.h"
#include "app/startup.h"
#include "surface/pdf_surface.h"
#include "surface/print_surface.h"

namespace {

constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;

const char kUsage[] =
    "Usage: folivane-pdf [OPTION]... SOURCE OUTPUT.pdf\n"
    "Print a PureBasic source to a PDF file the way folivane prints it at 600 dpi: banner,\n"
    "header with logo, footer with date stamp and page number, numbered and wrapped lines.\n"
    "The IDE options block at the end of SOURCE is left out; SOURCE is never changed or deleted.\n"
    "\n"
    "  --selection TEXT             print only the lines of the IDE selection TEXT\n"
    "                               (start line x start column x end line x end column, e.g. 12x1x20x5)\n"
    "  --font-size regular|large    body text size (default: from the settings file)\n"
    "  --page-header every|first    full header on every page or on the first only\n"
    "                               (default: from the settings file)\n"
    "  --source-name PATH           show the file name of PATH in the header (default: SOURCE)\n"
    "  --clock YYYY-MM-DDTHH:MM:SS  use this local time in the footer instead of the clock\n"
    "  --encoding NAME              how SOURCE is decoded: auto (the default: UTF-8 when it is,\n"
    "                               else the legacy code page detected), utf-8, or a code page\n"
    "                               such as windows-1252, windows-1251, gbk, big5, shift_jis\n"
    "  --paper NAME                 paper size, as a4, letter, legal, a5, b5, executive, ...\n"
    "                               in any case (default: the paper named by PAPERSIZE, else\n"
    "                               by /etc/papersize, else a4); the listing fills the page less\n"
    "                               a laser printer's margins (99 pixels at 600 dpi left and\n"
    "                               right, 119 at the top and the bottom)\n"
    "  --engine native|qt           write the PDF with folivane's own writer (default), or with\n"
    "                               Qt's PDF engine as the printing path draws\n"
    "  -h, --help                   show this help and exit\n"
    "\n"
    "OUTPUT: the PDF is written to a temporary file beside OUTPUT and renamed over it only when\n"
    "it is whole, so a failure or an interruption leaves an old OUTPUT as it was. A pipe, FIFO or\n"
    "device gets the finished PDF as it is; \"-\" means standard output. SOURCE is read up to\n"
    "256 MiB and 16,000,000 lines; what lies beyond is left out, with a message.\n"
    "\n"
    "Exit status: 0 when the PDF was written, 1 when SOURCE cannot be read or holds nothing to\n"
    "print, when OUTPUT is SOURCE, or when OUTPUT cannot be written whole, 2 for bad arguments.\n";

struct PdfOptions {
  QByteArray source;  // the platform's own bytes, for file calls
  QByteArray output;
  QString sourceName;
  QString selection;
  QString fontSize;
  QString pageHeader;
  QString clock;
  QString encoding;
  QString paper;
  QString engine;
};

void Complain(const QString& message) {
  std::fprintf(stderr, "folivane-pdf: %s\n", qPrintable(message));
}

// Fills `options` from the arguments; false (after a message) when they do not fit the usage.
bool ParseArguments(const QList<QByteArray>& rawArguments, PdfOptions& options, bool& helpAsked) {
  QStringList arguments;
  for (const QByteArray& raw : rawArguments) arguments.append(QFile::decodeName(raw));
  const QList<std::pair<QString, QString*>> valued = {
      {QStringLiteral("--selection"), &options.selection},
      {QStringLiteral("--font-size"), &options.fontSize},
      {QStringLiteral("--page-header"), &options.pageHeader},
      {QStringLiteral("--source-name"), &options.sourceName},
      {QStringLiteral("--clock"), &options.clock},
      {QStringLiteral("--encoding"), &options.encoding},
      {QStringLiteral("--paper"), &options.paper},
      {QStringLiteral("--engine"), &options.engine}};
  QList<QByteArray> positional;
  bool optionsEnded = false;
  for (qsizetype i = 0; i < arguments.size(); ++i) {
    const QString& argument = arguments[i];
    if (optionsEnded || !argument.startsWith(u'-') || argument == u"-") {
      positional.append(rawArguments[i]);
      continue;
    }
    if (argument == u"--") {
      optionsEnded = true;
      continue;
    }
    if (argument == u"-h" || argument == u"--help") {
      helpAsked = true;
      return true;
    }
    const qsizetype equals = argument.indexOf(u'=');
    const QString name = equals < 0 ? argument : argument.left(equals);
    QString* target = nullptr;
    for (const auto& [optionName, field] : valued)
      if (optionName == name) target = field;
    if (!target) {
      Complain(QStringLiteral("unknown option %1").arg(name));
      return false;
    }
    if (equals >= 0) {
      *target = argument.mid(equals + 1);
    } else if (i + 1 < arguments.size()) {
      *target = arguments[++i];
    } else {
      Complain(QStringLiteral("option %1 needs a value").arg(name));
      return false;
    }
  }
  if (positional.size() != 2) {
    Complain(QStringLiteral("expected SOURCE and OUTPUT.pdf, got %1 file argument(s)").arg(positional.size()));
    return false;
  }
  options.source = positional[0];
  options.output = positional[1];
  return true;
}

template <typename Choice>
bool ApplyChoice(const QString& value, const char* option, std::pair<const char*, Choice> one,
                 std::pair<const char*, Choice> other, Choice& field) {
  if (value.isEmpty()) return true;
  if (value == QLatin1String(one.first)) {
    field = one.second;
  } else if (value == QLatin1String(other.first)) {
    field = other.second;
  } else {
    Complain(QStringLiteral("%1 takes %2 or %3, not \"%4\"").arg(option, one.first, other.first, value));
    return false;
  }
  return true;
}

folivane::LocalClock FixedClock(const QDateTime& moment) {
  return [moment] { return folivane::LocalTimeOf(moment); };
}

int Run(int argc, char** argv) {
  using namespace folivane;
  QList<QByteArray> arguments;
  for (int i = 1; i < argc; ++i) arguments.append(QByteArray(argv[i]));

  PdfOptions options;
  bool helpAsked = false;
  if (!ParseArguments(arguments, options, helpAsked)) {
    std::fputs("Try 'folivane-pdf --help'.\n", stderr);
    return kExitUsage;
  }
  if (helpAsked) {
    std::fputs(kUsage, stdout);
    return 0;
  }

  const QtSession qt("folivane-pdf", QtSession::Kind::Batch);

  RunState state;
  state.request.displayDpi = 96;
  state.settingsDirectory = SettingsDirectory();
  state.settings = LoadSettings(SettingsFilePath(state.settingsDirectory));
  if (!ApplyChoice(options.fontSize, "--font-size", std::pair{"regular", FontSize::Regular},
                   std::pair{"large", FontSize::Large}, state.settings.fontSize) ||
      !ApplyChoice(options.pageHeader, "--page-header", std::pair{"every", HeaderPlacement::EveryPage},
                   std::pair{"first", HeaderPlacement::FirstPage}, state.settings.headerPlacement)) {
    return kExitUsage;
  }
  if (!options.engine.isEmpty() && options.engine != u"native" && options.engine != u"qt") {
    Complain(QStringLiteral("--engine takes native or qt, not \"%1\"").arg(options.engine));
    return kExitUsage;
  }
  QDateTime created = QDateTime::currentDateTime();
  LocalClock clock = SystemLocalClock();
  if (!options.clock.isEmpty()) {
    const QDateTime moment = QDateTime::fromString(options.clock, Qt::ISODate);
    if (!moment.isValid()) {
      Complain(QStringLiteral("--clock takes YYYY-MM-DDTHH:MM:SS, not \"%1\"").arg(options.clock));
      return kExitUsage;
    }
    clock = FixedClock(moment);
    created = moment;
  }
  IntakeOptions intake;
  if (!options.encoding.isEmpty()) {
    if (!IsKnownEncoding(options.encoding.toLatin1())) {
      Complain(QStringLiteral("--encoding takes auto, utf-8 or a code page name such as windows-1252, "
                              "windows-1251, iso-8859-15, gbk, big5, shift_jis, euc-jp, euc-kr or "
                              "koi8-r, not \"%1\"").arg(options.encoding));
      return kExitUsage;
    }
    intake.encoding = options.encoding.toLatin1();
  }
  std::optional<QPageSize> paper = PaperNamed(options.paper);
  if (!options.paper.isEmpty() && !paper) {
    Complain(QStringLiteral("--paper takes a paper name such as a4, letter or legal, not \"%1\"").arg(options.paper));
    return kExitUsage;
  }
  if (!paper) {
    const QString systemPaper = SystemPaperName();
    paper = PaperNamed(systemPaper.isEmpty() ? QStringLiteral("A4") : systemPaper);
    if (!paper) {
      Complain(QStringLiteral("the system's paper \"%1\" is unknown; printing on A4").arg(systemPaper));
      paper = QPageSize(QPageSize::A4);
    }
  }
  const QString shownSource = QFile::decodeName(options.source);
  state.request.sourcePath = options.sourceName.isEmpty() ? shownSource : options.sourceName;
  state.request.selection = options.selection;

  struct stat sourceStatus {};
  if (::stat(options.source.constData(), &sourceStatus) != 0 || !S_ISREG(sourceStatus.st_mode) ||
      !ReadSourceCopy(options.source, QByteArray(), state.request.source, {CopyDisposal::Keep, intake, {}})) {
    Complain(QStringLiteral("cannot read %1").arg(shownSource));
    return kExitFailure;
  }
  if (state.request.source.cutShort) {
    Complain(QStringLiteral("%1 is longer than %2 MiB or %3 lines; the rest is left out")
                 .arg(shownSource).arg(kMaxCopyBytes / (1024 * 1024)).arg(kMaxCopyLines));
  }
  if (state.request.source.lines.isEmpty()) {
    Complain(QStringLiteral("%1 holds no line before its IDE options block: nothing to print").arg(shownSource));
    return kExitFailure;
  }

  if (const QString missing = DescribeCharactersWithoutGlyph(state.request); !missing.isEmpty()) Complain(missing);

  QString error;
  const std::unique_ptr<PdfOutput> output = PdfOutput::Prepare(options.output, IdentityOf(options.source), error);
  if (!output) {
    Complain(error);
    return kExitFailure;
  }
  if (options.engine == u"qt") {
    std::unique_ptr<PrintSurface> pdf = PrintSurface::ForPdf(output->RenderPath(), *paper);
    PrintSource(state, *pdf, clock);
  } else {
    PdfSurface pdf(output->RenderPath(), *paper, PdfPrintableArea(*paper), created);
    PrintSource(state, pdf, clock);
    if (!pdf.Written()) {
      Complain(QStringLiteral("could not write %1").arg(QFile::decodeName(options.output)));
      return kExitFailure;
    }
  }
  if (!output->Deliver(error)) {
    Complain(error);
    return kExitFailure;
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  try {
    return Run(argc, argv);
  } catch (const std::exception& error) {
    Complain(QString::fromLocal8Bit(error.what()));
  } catch (...) {
    Complain(QStringLiteral("unexpected failure"));
  }
  return kExitFailure;
}
