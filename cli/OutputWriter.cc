#include "cli/OutputWriter.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "host/NumberText.h"
#include "host/Utf8Text.h"

namespace rulescore {
namespace cli {

namespace {

const char* const kResultColumns[] = {"prediction", "confidence", "winning_rule", "fired_rules"};

void AppendShortest(double value, std::string* out) {
  char buffer[64];
  const std::string_view text = KtZembra_940::NumberText::FormatShortest(value, buffer, sizeof buffer);
  out->append(text.data(), text.size());
}

}  // namespace

OutputWriter::OutputWriter(Format format, char delimiter) : format_(format), delimiter_(delimiter) {
  for (const char c : {delimiter, '"', '\n', '\r'}) {
    const unsigned char byte = static_cast<unsigned char>(c);
    special_[byte] = true;
    specialBits_[byte >> 6] |= uint64_t{1} << (byte & 63);
  }
}

bool OutputWriter::AppendPlainCsvRow(const CsvRow& row, size_t width, const RowScore& score,
                                     std::string* out) const {
  const auto plain = [this](std::string_view text) {
    for (const char c : text) {
      if (special_[static_cast<unsigned char>(c)]) return false;
    }
    return true;
  };
  // The delimiters after the input cells and between the result columns,
  // and the line end.
  size_t need = width + 3 + outputColumns_.size() + 1;
  const size_t cells = std::min(width, row.count);
  // A plain line holds no byte that needs quotes, and its delimiters are
  // the ones written between its cells.
  const bool whole = row.plain && row.count == width && width > 0;
  if (whole) {
    need += row.plainLine.size() + 1 - width;
  } else {
    for (size_t i = 0; i < cells; ++i) {
      const std::string_view cell = row.Cell(i);
      if (!plain(cell)) return false;
      need += cell.size();
    }
  }
  // The scorer's texts, when the row names them, need no look at each byte.
  const uint64_t* const bytes = score.textBytes;
  const bool textsPlain =
      bytes != nullptr && ((bytes[0] & specialBits_[0]) | (bytes[1] & specialBits_[1]) |
                           (bytes[2] & specialBits_[2]) | (bytes[3] & specialBits_[3])) == 0;
  const bool prediction = score.ok && score.hasPrediction;
  const std::string_view predictionText = score.Prediction();
  const std::string_view winningRule = score.WinningRule();
  const size_t firedCount = score.FiredCount();
  if (prediction) {
    if (!textsPlain && !plain(predictionText)) return false;
    need += predictionText.size();
  }
  char buffer[64];
  std::string_view confidence;
  if (score.ok && score.hasConfidence && std::isfinite(score.confidence)) {
    confidence = score.confidenceTextSize != 0 ? score.ConfidenceText()
                                               : KtZembra_940::NumberText::FormatShortest(
                                                     score.confidence, buffer, sizeof buffer);
    // A delimiter such as '.' or a digit can occur in a number's text.
    if (!plain(confidence)) return false;
    need += confidence.size();
  }
  if (score.ok) {
    if (!textsPlain && !plain(winningRule)) return false;
    need += winningRule.size();
    // The identifiers are joined by ';', which must not need quotes either.
    if (firedCount > 1 && special_[static_cast<unsigned char>(';')]) return false;
    for (size_t i = 0; i < firedCount; ++i) {
      const std::string_view id = score.FiredRule(i);
      if (!textsPlain && !plain(id)) return false;
      need += id.size() + 1;
    }
    if (firedCount > 0) --need;
  }
  const size_t outputs = score.ok ? std::min(outputColumns_.size(), score.outputs.size()) : 0;
  for (size_t i = 0; i < outputs; ++i) {
    if (score.outputs[i].isMissing) continue;
    if (!plain(score.outputs[i].text)) return false;
    need += score.outputs[i].text.size();
  }

  const size_t at = out->size();
  out->resize(at + need);
  char* p = &(*out)[at];
  const auto put = [&p](std::string_view text) {
    if (!text.empty()) std::memcpy(p, text.data(), text.size());
    p += text.size();
  };
  const char delimiter = delimiter_;
  if (whole) {
    put(row.plainLine);
    *p++ = delimiter;
  } else {
    for (size_t i = 0; i < width; ++i) {
      if (i < cells) put(row.Cell(i));
      *p++ = delimiter;
    }
  }
  if (prediction) put(predictionText);
  *p++ = delimiter;
  put(confidence);
  *p++ = delimiter;
  if (score.ok) put(winningRule);
  *p++ = delimiter;
  if (score.ok) {
    for (size_t i = 0; i < firedCount; ++i) {
      if (i > 0) *p++ = ';';
      put(score.FiredRule(i));
    }
  }
  for (size_t i = 0; i < outputColumns_.size(); ++i) {
    *p++ = delimiter;
    if (i < outputs && !score.outputs[i].isMissing) put(score.outputs[i].text);
  }
  *p++ = '\n';
  return true;
}

void OutputWriter::AppendCsvField(std::string_view text, char delimiter, std::string* out) {
  bool quote = false;
  for (const char c : text) {
    if (c == delimiter || c == '"' || c == '\n' || c == '\r') {
      quote = true;
      break;
    }
  }
  if (!quote) {
    out->append(text.data(), text.size());
    return;
  }
  out->push_back('"');
  for (const char c : text) {
    if (c == '"') out->push_back('"');
    out->push_back(c);
  }
  out->push_back('"');
}

void OutputWriter::AppendJsonString(std::string_view text, std::string* out) {
  static const char kHex[] = "0123456789abcdef";
  out->push_back('"');
  for (size_t i = 0; i < text.size();) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    if (c >= 0x80) {
      const size_t length = KtZembra_940::Utf8Text::SequenceLength(text, i);
      if (length == 0) {
        out->append("\\ufffd");
        ++i;
      } else {
        out->append(text.data() + i, length);
        i += length;
      }
      continue;
    }
    switch (c) {
      case '"': out->append("\\\""); break;
      case '\\': out->append("\\\\"); break;
      case '\n': out->append("\\n"); break;
      case '\r': out->append("\\r"); break;
      case '\t': out->append("\\t"); break;
      case '\b': out->append("\\b"); break;
      case '\f': out->append("\\f"); break;
      default:
        if (c < 0x20 || c == 0x7F) {
          out->append("\\u00");
          out->push_back(kHex[c >> 4]);
          out->push_back(kHex[c & 0xF]);
        } else {
          out->push_back(static_cast<char>(c));
        }
    }
    ++i;
  }
  out->push_back('"');
}

void OutputWriter::AppendJsonNumber(double value, std::string* out) {
  if (!std::isfinite(value)) {
    out->append("null");
    return;
  }
  AppendShortest(value, out);
}

void OutputWriter::AppendHeader(const std::vector<std::string>& columns, std::string* out) const {
  if (format_ != Format::kCsv) return;
  for (const std::string& column : columns) {
    AppendCsvField(column, delimiter_, out);
    out->push_back(delimiter_);
  }
  out->append(kResultColumns[0]);
  out->push_back(delimiter_);
  out->append(kResultColumns[1]);
  out->push_back(delimiter_);
  out->append(kResultColumns[2]);
  out->push_back(delimiter_);
  out->append(kResultColumns[3]);
  for (const std::string& column : outputColumns_) {
    out->push_back(delimiter_);
    AppendCsvField(column, delimiter_, out);
  }
  out->push_back('\n');
}

void OutputWriter::AppendRow(const CsvRow& row, size_t width, const RowScore& score,
                             std::string* out) const {
  const bool hasConfidence = score.ok && score.hasConfidence && std::isfinite(score.confidence);
  if (format_ == Format::kCsv) {
    if (AppendPlainCsvRow(row, width, score, out)) return;
    for (size_t i = 0; i < width; ++i) {
      if (i < row.count) AppendCsvField(row.Cell(i), delimiter_, out);
      out->push_back(delimiter_);
    }
    if (score.ok && score.hasPrediction) AppendCsvField(score.Prediction(), delimiter_, out);
    out->push_back(delimiter_);
    if (hasConfidence) {
      char text[64];
      AppendCsvField(KtZembra_940::NumberText::FormatShortest(score.confidence, text, sizeof text),
                     delimiter_, out);
    }
    out->push_back(delimiter_);
    if (score.ok) AppendCsvField(score.WinningRule(), delimiter_, out);
    out->push_back(delimiter_);
    if (score.ok) {
      std::string joined;
      for (size_t i = 0; i < score.FiredCount(); ++i) {
        if (i > 0) joined.push_back(';');
        joined.append(score.FiredRule(i));
      }
      AppendCsvField(joined, delimiter_, out);
    }
    for (size_t i = 0; i < outputColumns_.size(); ++i) {
      out->push_back(delimiter_);
      if (score.ok && i < score.outputs.size() && !score.outputs[i].isMissing) {
        AppendCsvField(score.outputs[i].text, delimiter_, out);
      }
    }
    out->push_back('\n');
    return;
  }

  out->append("{\"prediction\": ");
  if (score.ok && score.hasPrediction) {
    if (score.predictionIsNumber) {
      out->append(score.Prediction());
    } else {
      AppendJsonString(score.Prediction(), out);
    }
  } else {
    out->append("null");
  }
  out->append(", \"confidence\": ");
  if (hasConfidence) {
    AppendShortest(score.confidence, out);
  } else {
    out->append("null");
  }
  out->append(", \"winning_rule\": ");
  if (score.ok && !score.WinningRule().empty()) {
    AppendJsonString(score.WinningRule(), out);
  } else {
    out->append("null");
  }
  out->append(", \"fired_rules\": [");
  if (score.ok) {
    for (size_t i = 0; i < score.FiredCount(); ++i) {
      if (i > 0) out->append(", ");
      AppendJsonString(score.FiredRule(i), out);
    }
  }
  out->push_back(']');
  for (size_t i = 0; i < outputColumns_.size(); ++i) {
    out->append(", ");
    AppendJsonString(outputColumns_[i], out);
    out->append(": ");
    const RowScore::Output* output =
        score.ok && i < score.outputs.size() ? &score.outputs[i] : nullptr;
    if (output == nullptr || output->isMissing) {
      out->append("null");
    } else if (output->isNumber) {
      out->append(output->text);
    } else {
      AppendJsonString(output->text, out);
    }
  }
  if (!score.ok) {
    out->append(", \"error\": ");
    AppendJsonString(score.error, out);
  }
  out->append("}\n");
}

}  // namespace cli
}  // namespace rulescore
