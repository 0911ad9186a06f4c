#include "prep/vcf.h"

#include <htslib/hts.h>
#include <htslib/hts_log.h>
#include <htslib/kseq.h>
#include <htslib/vcf.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "cli/fail.h"
#include "prep/score_writer.h"
#include "prep/text_input.h"

namespace {

std::string format_description(const htsFormat* format) {
  char* text = hts_format_description(format);
  std::string description = text != nullptr ? text : "unknown";
  std::free(text);
  return description;
}

/// What htslib's error bits of a record say, in words.
std::string describe_record_error(int errcode) {
  std::string what;
  const auto add = [&what](const char* text) {
    what += (what.empty() ? "" : "; ") + std::string(text);
  };
  if (errcode & BCF_ERR_NCOLS) add("wrong number of columns");
  if (errcode & BCF_ERR_CHAR) add("invalid character");
  if (errcode & BCF_ERR_LIMITS) add("a value beyond the format's limits");
  if (errcode & BCF_ERR_CTG_INVALID) add("invalid chromosome name");
  if (errcode & BCF_ERR_TAG_INVALID) add("malformed INFO or FORMAT field");
  if (errcode & BCF_ERR_CTG_UNDEF) add("chromosome not declared in the header");
  if (errcode & BCF_ERR_TAG_UNDEF) add("field not declared in the header");
  return what;
}

std::string number_text(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%g", value);
  return text;
}

}  // namespace

VcfReader::VcfReader(const std::string& file_path, bool with_samples)
    : path(file_path), reads_samples(with_samples) {
  hts_set_log_level(HTS_LOG_OFF);
  file = hts_open(path.c_str(), "r");
  if (file == nullptr) fail_stderr("error: cannot open " + path + ": " + std::strerror(errno));
  const htsFormat* format = hts_get_format(file);
  if (format->category != variant_data) {
    fail_stderr("error: " + path + ": not a VCF or BCF file (read as " +
                format_description(format) + ")");
  }
  is_bcf = format->format == bcf;
  // A bgzip file cut at a block boundary reads cleanly up to the cut: only the missing
  // end-of-file block shows it.
  if (format->compression == bgzf && hts_check_EOF(file) == 0) {
    fail_stderr("error: " + path + ": truncated (the bgzip end-of-file block is missing)");
  }
  header = bcf_hdr_read(file);
  if (header == nullptr) {
    fail_stderr("error: " + path + (is_bcf ? "" : " line " + std::to_string(file->lineno)) +
                ": malformed or unfinished VCF header (expected ## lines, then the #CHROM line)");
  }
  if (!reads_samples && bcf_hdr_set_samples(header, nullptr, 0) != 0) {
    fail_stderr("error: " + path + ": cannot skip the sample columns");
  }
  for (int i = 0; i < bcf_hdr_nsamples(header); ++i) samples.emplace_back(header->samples[i]);
  record = bcf_init();
}

VcfReader::~VcfReader() {
  std::free(int_values);
  std::free(float_values);
  if (record != nullptr) bcf_destroy(record);
  if (header != nullptr) bcf_hdr_destroy(header);
  if (file != nullptr) hts_close(file);
}

bool VcfReader::next() {
  int status = 0;
  if (is_bcf) {
    status = bcf_read(file, header, record);
    if (status == -1) return false;
    ++records_read;
  } else {
    // Lines are read here rather than by bcf_read, which reports the end of the file and a
    // malformed line with the same -1.
    int length = hts_getline(file, KS_SEP_LINE, &file->line);
    while (length == 0) length = hts_getline(file, KS_SEP_LINE, &file->line);  // blank lines
    if (length == -1) return false;
    ++records_read;
    if (length >= 0) check_columns();
    status = length < -1 ? length : vcf_parse(&file->line, header, record);
  }
  if (status != 0) fail_read(status);
  if (reads_samples && record->n_sample != samples.size()) {
    fail_record(std::to_string(record->n_sample) + " samples, but the header names " +
                std::to_string(samples.size()));
  }
  return true;
}

void VcfReader::check_columns() const {
  const char* text = file->line.s;
  const char* end = text + file->line.l;
  // htslib reads a POS that is not a number as some number.
  const char* pos = std::find(text, end, '\t');
  const char* pos_end = pos == end ? end : std::find(pos + 1, end, '\t');
  if (pos == end || pos + 1 == pos_end ||
      !std::all_of(pos + 1, pos_end, [](char c) { return c >= '0' && c <= '9'; })) {
    fail_record("POS '" + std::string(pos == end ? pos : pos + 1, pos_end) +
                "' is not a whole number");
  }
  // htslib ignores sample columns beyond the header's; a shifted line must not pass.
  if (!reads_samples || samples.empty()) return;
  const std::size_t columns = 1 + static_cast<std::size_t>(std::count(text, end, '\t'));
  if (columns != 9 + samples.size()) {
    fail_record(std::to_string(columns) + " columns, but the header has " +
                std::to_string(9 + samples.size()) + " (9 + " + std::to_string(samples.size()) +
                " samples)");
  }
}

void VcfReader::fail_read(int status) const {
  const std::string what = describe_record_error(record->errcode);
  if (!what.empty()) fail_record("malformed record (" + what + ")");
  if (status < -1) {
    fail_record("cannot read the record: the file is damaged or truncated");
  }
  fail_record("malformed record");
}

long long VcfReader::number() const { return is_bcf ? records_read : file->lineno; }

std::string VcfReader::where() const {
  return path + ' ' + unit() + ' ' + std::to_string(number());
}

void VcfReader::fail_record(const std::string& message) const {
  fail_stderr("error: " + where() + ": " + message);
}

int VcfReader::allele_count() const { return record->n_allele; }

std::string VcfReader::chromosome() const {
  const char* name = bcf_seqname(header, record);
  return name != nullptr ? name : "";
}

long long VcfReader::position() const { return record->pos + 1; }

std::string VcfReader::snp_name() const {
  bcf_unpack(record, BCF_UN_STR);
  std::string name = record->d.id;
  if (name == ".") {
    name = chromosome() + ':' + std::to_string(position()) + ':' + record->d.allele[0] + ':' +
           (record->n_allele > 1 ? record->d.allele[1] : ".");
  }
  if (has_field_separator(name)) {
    fail_record("SNP name '" + quote_prefix(name) +
                "' contains a comma or blank, which Halvorix would split");
  }
  return name;
}

std::string VcfReader::format_fields() const {
  std::string names;
  for (int i = 0; i < header->nhrec; ++i) {
    const bcf_hrec_t* line = header->hrec[i];
    if (line->type != BCF_HL_FMT) continue;
    const int id = bcf_hrec_find_key(const_cast<bcf_hrec_t*>(line), "ID");
    if (id >= 0) names += (names.empty() ? "" : ", ") + std::string(line->vals[id]);
  }
  return names.empty() ? "none" : names;
}

void VcfReader::require_format(const std::string& field) const {
  const int id = bcf_hdr_id2int(header, BCF_DT_ID, field.c_str());
  if (!bcf_hdr_idinfo_exists(header, BCF_HL_FMT, id)) {
    fail_stderr("error: " + path + ": the header declares no FORMAT field " + field +
                " (FORMAT fields: " + format_fields() + ")");
  }
}

void VcfReader::require_format_number(const std::string& field) const {
  require_format(field);
  const int id = bcf_hdr_id2int(header, BCF_DT_ID, field.c_str());
  const uint32_t type = bcf_hdr_id2type(header, BCF_HL_FMT, id);
  if (type != BCF_HT_REAL && type != BCF_HT_INT) {
    fail_stderr("error: " + path + ": FORMAT field " + field +
                " is not declared as a number (Type=Float or Integer)");
  }
}

std::size_t VcfReader::values_per_sample(int count, const std::string& field) const {
  const auto total = static_cast<std::size_t>(count);
  if (samples.empty() || total % samples.size() != 0) {
    fail_record("FORMAT " + field + " holds " + std::to_string(total) + " values for " +
                std::to_string(samples.size()) + " samples");
  }
  return total / samples.size();
}

void VcfReader::read_alt_counts(const std::vector<long long>& kept, std::vector<double>& dosage) {
  const int count = bcf_get_genotypes(header, record, &int_values, &int_capacity);
  if (count == -3) {  // no GT on this record
    dosage.assign(kept.size(), kMissingDosage);
    return;
  }
  if (count < 0) fail_record("cannot read GT");
  const std::size_t ploidy = values_per_sample(count, "GT");
  const int alt_alleles = record->n_allele - 1;
  dosage.resize(kept.size());
  for (std::size_t k = 0; k < kept.size(); ++k) {
    const int32_t* call = int_values + static_cast<std::size_t>(kept[k]) * ploidy;
    int alt = 0;
    std::size_t alleles = 0;
    bool missing = false;
    for (; alleles < ploidy && call[alleles] != bcf_int32_vector_end; ++alleles) {
      if (bcf_gt_is_missing(call[alleles])) {
        missing = true;
        break;
      }
      const int allele = bcf_gt_allele(call[alleles]);
      if (allele > alt_alleles) {
        fail_record("sample " + samples[static_cast<std::size_t>(kept[k])] + ": GT allele " +
                    std::to_string(allele) + ", but the record has " + std::to_string(alt_alleles) +
                    " ALT allele(s)");
      }
      alt += allele > 0;
    }
    dosage[k] = missing || alleles == 0 ? kMissingDosage : alt;
  }
}

void VcfReader::read_dosages(const std::string& field, const std::vector<long long>& kept,
                             std::vector<double>& dosage) {
  const int id = bcf_hdr_id2int(header, BCF_DT_ID, field.c_str());
  const bool is_float = bcf_hdr_id2type(header, BCF_HL_FMT, id) == BCF_HT_REAL;
  const int count =
      is_float ? bcf_get_format_float(header, record, field.c_str(), &float_values, &float_capacity)
               : bcf_get_format_int32(header, record, field.c_str(), &int_values, &int_capacity);
  if (count == -3) {  // the field is absent from this record
    dosage.assign(kept.size(), kMissingDosage);
    return;
  }
  if (count < 0) fail_record("cannot read FORMAT " + field);
  const std::size_t per_sample = values_per_sample(count, field);
  if (per_sample != 1) {
    fail_record("FORMAT " + field + " has " + std::to_string(per_sample) +
                " values per sample; an ALT dosage has one");
  }
  dosage.resize(kept.size());
  for (std::size_t k = 0; k < kept.size(); ++k) {
    const auto i = static_cast<std::size_t>(kept[k]);
    double value = 0;
    bool present = false;
    if (is_float) {
      value = float_values[i];
      present = !bcf_float_is_missing(float_values[i]) && !bcf_float_is_vector_end(float_values[i]);
    } else {
      value = int_values[i];
      present = int_values[i] != bcf_int32_missing && int_values[i] != bcf_int32_vector_end;
    }
    if (!present) value = kMissingDosage;
    if (present && !(value >= 0 && value <= 2)) {
      fail_record("sample " + samples[i] + ": " + field + " " + number_text(value) +
                  " is not an ALT dosage from 0 to 2");
    }
    dosage[k] = value;
  }
}

VcfSites load_vcf_sites(const std::string& path) {
  VcfReader reader(path, false);
  VcfSites sites;
  sites.unit = reader.unit();
  while (reader.next()) {
    if (reader.allele_count() > 2) {
      ++sites.multiallelic;
      continue;
    }
    BimRecord snp;
    snp.chromosome = reader.chromosome();
    snp.snp_id = reader.snp_name();
    snp.position = reader.position();
    sites.snps.push_back(std::move(snp));
    sites.numbers.push_back(reader.number());
  }
  return sites;
}
