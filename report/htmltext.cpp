#include "report/htmltext.h"

#include <cmath>

#include "common/boundedtext.h"
#include "common/hosttext.h"

namespace ppi::analysis::htmltext {

namespace {

constexpr std::string_view kReplacement = "\xEF\xBF\xBD";  // U+FFFD

constexpr const char* kHowToRead = R"(<h2 id="how-to-read">How to read this</h2>
<p>Each subject's figure shows its design's predictors over the volumes of its time course:</p>
<ul>
<li><b>Region signal</b> (black): the region's mean time course, z-normalised; it is the
physiological regressor.</li>
<li><b>Task regressors</b> (dashed): the weighted conditions' box-cars convolved with the
host's response function; shaded bands mark the conditions' volumes before convolution.</li>
<li><b>PPI terms</b> (solid, in colour): the task regressor times the region signal; its
estimate measures how the task changes the region's coupling with each voxel.</li>
<li><b>Complementary regressor</b> (dotted), in the standard approach when both weight signs
occur.</li>
<li><b>Motion predictors</b> (lower panel): translations solid, rotations dashed.</li>
</ul>
<p>In the run summary each subject's row shows its PPI terms (the first three) over the
volumes as a small line, each pixel spanning the range of the volumes it covers: a term that
is flat, or dominated by a few spikes, marks the subject to look at first. The subject's
number links to its page.</p>
<p>The <b>variance inflation factor</b> (VIF) of a PPI term is 1 / (1 &minus; R&sup2;), R&sup2;
of the term regressed on all other predictors. A VIF of 1 means the term shares nothing with
them; at 10 and above (a warning), 90 % of its variance is explained by the others, and its
estimate is imprecise and swings with small changes of the design; at 100 and above (an error)
99 %. An infinite VIF means the term is a combination of the others: its effect cannot be
estimated at all.</p>
<p>What to do when a term has a high VIF: look at the correlation table for the predictor it
follows. A PPI term that tracks its task regressor usually means the region signal is far
from zero on average during the task, or the task blocks are long compared to the rest
periods; a term that tracks the region signal means the task covers most volumes. Check the
contrast (the &ldquo;CondID-&rdquo; entries and the baseline), consider centring the
psychological regressor, and prefer designs with more, shorter alternations. Voxels outside
the grid mean the region file does not match the time course's space; an unnamed condition
gets no weight and drops out of the contrast.</p>
)";

// Replaces the one occurrence of `from` in `text`.
void replaceOnce(std::string& text, std::string_view from, std::string_view to) {
  const std::size_t at = text.find(from);
  if (at != std::string::npos) text.replace(at, from.size(), to);
}

}  // namespace

void appendEscaped(std::string& out, std::string_view hostText, std::size_t limit) {
  const std::string utf8 = hostTextToUtf8(hostText);
  const std::string_view text = utf8;
  std::size_t characters = 0;
  for (std::size_t at = 0; at < text.size();) {
    if (characters == limit) {
      out += "\xE2\x80\xA6";  // U+2026
      return;
    }
    ++characters;
    const std::size_t length = utf8SequenceLength(text, at);
    if (length == 0) {
      out += kReplacement;
      ++at;
      continue;
    }
    if (length > 1) {
      out.append(text, at, length);
      at += length;
      continue;
    }
    const char c = text[at++];
    switch (c) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '"':
        out += "&quot;";
        break;
      case '\'':
        out += "&#39;";
        break;
      default:
        if ((static_cast<unsigned char>(c) < 0x20 && c != '\t' && c != '\n') || c == 0x7F) {
          out += kReplacement;
        } else {
          out += c;
        }
    }
  }
}

std::string escaped(std::string_view text, std::size_t limit) {
  std::string out;
  appendEscaped(out, text, limit);
  return out;
}

std::string_view fileName(std::string_view path) {
  std::size_t slash = path.find_last_of("/\\");
  if (slash == std::string_view::npos || slash == 0) return path;
  slash = path.find_last_of("/\\", slash - 1);
  return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

std::string fixed(double value, int decimals) {
  if (std::isinf(value)) return value > 0 ? "infinite" : "-infinite";
  if (std::isnan(value)) return "n/a";
  char text[64];
  formatBounded(text, sizeof text, "%.*f", decimals, value);
  std::string result = text;
  if (result[0] == '-' && result.find_first_not_of("-0.") == std::string::npos) result.erase(0, 1);
  return result;
}

std::string integer(long long value) {
  char text[32];
  formatBounded(text, sizeof text, "%lld", value);
  return text;
}

std::string signedWeight(int weight) {
  return weight > 0 ? "+" + integer(weight) : integer(weight);
}

std::string methodInWords(const MethodOptions& method) {
  std::string words = method.eigenvariate() ? "the region's first eigenvariate"
                                            : "the region's mean";
  if (method.neuralLevel()) {
    words +=
        ", deconvolved to a neural signal; the interaction formed at the neural level with the "
        "psychological factor centred (always at this level)";
  } else {
    words += method.centred() ? "; the interaction formed at the BOLD level with the "
                                "psychological factor centred"
                              : "; the interaction formed at the BOLD level";
  }
  return words;
}

void appendSettingRow(std::string& html, const char* name, const std::string& valueHtml) {
  html += "<tr><th>";
  html += name;
  html += "</th><td>" + valueHtml + "</td></tr>\n";
}

std::string motionSetting(const SettingsRecord& settings) {
  if (!settings.motionMerge) return "not merged";
  std::string text = settings.zTransform ? "merged, z-transformed" : "merged as read";
  if (settings.motionModel != 6) {
    text += "; " + integer(settings.motionModel) + " motion predictors (" +
            (settings.motionModel == 12 ? "the six and their derivatives"
                                        : "the six, their derivatives and the squares of both") +
            ")";
  }
  if (settings.censorFD > 0) {
    text += "; volumes with framewise displacement above " + fixed(settings.censorFD, 2) +
            " mm censored by a spike predictor each";
  }
  return text;
}

std::string deconvolutionText(const DeconvolutionSummary& deconvolution) {
  char penalty[64];
  formatBounded(penalty, sizeof penalty, "%.4g (%.4g relative to the data's scale)",
                deconvolution.penalty, deconvolution.relativePenalty);
  const char* edge = deconvolution.edge == GridEdge::lowest    ? ", the lowest of its grid"
                     : deconvolution.edge == GridEdge::highest ? ", the highest of its grid"
                                                                : "";
  std::string text =
      "penalty " + std::string(penalty) + edge + "; " +
      fixed(deconvolution.effectiveParameters, 1) + " effective parameters of " +
      integer(static_cast<long long>(deconvolution.volumes)) + " volumes; the host's kernel " +
      integer(static_cast<long long>(deconvolution.kernelVolumes)) + " volumes long";
  const char* centre = factorCentreName(deconvolution.factorCentre);
  if (*centre != '\0') text += std::string("; the factor centred on its ") + centre;
  return text;
}

std::string howToRead(const MethodOptions& method) {
  std::string text = kHowToRead;
  if (method.eigenvariate()) {
    replaceOnce(text, "the region's mean time course, z-normalised",
                "the region's first eigenvariate (the time course of the first principal "
                "component of its voxels, each centred over time), z-normalised");
  }
  if (method.neuralLevel()) {
    replaceOnce(text,
                "the task regressor times the region signal; its\nestimate",
                "formed at the neural level: the psychological factor (the weighted "
                "conditions' box-car before convolution), centred on a weighted mean over the "
                "run (the help's Method section says why), times the neural signal deconvolved "
                "from the region signal, then convolved with the host's response function; its "
                "estimate");
    replaceOnce(text, "<li><b>Motion predictors</b>",
                "<li><b>Neural level</b> (the second figure): the region signal, the "
                "deconvolution's fit of it and the neural signal it estimated. The penalty is "
                "chosen by generalized cross-validation on a grid; a penalty at the grid's lowest "
                "point, or effective parameters above 90 % of the volumes, means the fit spent a "
                "parameter on nearly every volume: the neural signal is mostly amplified noise, "
                "and the subject is flagged. Prefer the BOLD level or the mean for such a "
                "subject.</li>\n<li><b>Motion predictors</b>");
  }
  return text;
}

}  // namespace ppi::analysis::htmltext
