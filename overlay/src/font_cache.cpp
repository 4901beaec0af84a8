#include "font_cache.h"

#include FT_TRUETYPE_TABLES_H

#include <algorithm>
#include <cstdlib>
#include <iterator>
#include <map>
#include <utility>

#if defined(_WIN32)
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include "corvella/platform/text.h"
#endif

namespace corvella::overlay::fonts {

namespace {

std::atomic<uint64_t> matchesMade{0};
std::atomic<uint64_t> instancesOpened{0};

#if !defined(_WIN32)
// Frees a fontconfig pattern or font set when it goes out of scope.
struct PatternDeleter {
  void operator()(FcPattern* p) const { FcPatternDestroy(p); }
};
struct FontSetDeleter {
  void operator()(FcFontSet* s) const { FcFontSetDestroy(s); }
};
using PatternPtr = std::unique_ptr<FcPattern, PatternDeleter>;
using FontSetPtr = std::unique_ptr<FcFontSet, FontSetDeleter>;
#endif

// Selects a Unicode (or else a symbol) character map of a newly opened face and notes the style
// it was designed with; false when the face cannot serve.
bool PrepareInstance(FaceInstance& instance) {
  if (!FT_IS_SCALABLE(instance.face)) return false;
  if (FT_Select_Charmap(instance.face, FT_ENCODING_UNICODE) != 0) {
    if (FT_Select_Charmap(instance.face, FT_ENCODING_MS_SYMBOL) != 0) return false;
    instance.symbolMap = true;
  }
  // The style the face was designed with, which decides what a request must synthesise.
  FT_Face face = instance.face;
  const auto* os2 = static_cast<const TT_OS2*>(FT_Get_Sfnt_Table(face, FT_SFNT_OS2));
  instance.bold = os2 != nullptr && os2->version != 0xFFFF
                      ? os2->usWeightClass >= kBoldWeight
                      : (face->style_flags & FT_STYLE_FLAG_BOLD) != 0;
  instance.italic = (face->style_flags & FT_STYLE_FLAG_ITALIC) != 0;
  return true;
}

#if defined(_WIN32)
// Opens the face @p index of a font file held in memory, in a library of its own.
std::unique_ptr<FaceInstance> OpenInstance(const std::vector<uint8_t>& data, int32_t index) {
  ++instancesOpened;
  auto instance = std::make_unique<FaceInstance>();
  if (FT_Init_FreeType(&instance->library) != 0) {
    instance->library = nullptr;
    return nullptr;
  }
  if (FT_New_Memory_Face(instance->library, data.data(), static_cast<FT_Long>(data.size()), index,
                         &instance->face) != 0) {
    instance->face = nullptr;
    return nullptr;
  }
  if (!PrepareInstance(*instance)) return nullptr;
  return instance;
}
#else
// Opens @p file as a scalable face in a library of its own, selecting a Unicode (or else a
// symbol) character map.
std::unique_ptr<FaceInstance> OpenInstance(const std::string& file, int32_t index) {
  ++instancesOpened;
  auto instance = std::make_unique<FaceInstance>();
  if (FT_Init_FreeType(&instance->library) != 0) {
    instance->library = nullptr;
    return nullptr;
  }
  if (FT_New_Face(instance->library, file.c_str(), index, &instance->face) != 0) {
    instance->face = nullptr;
    return nullptr;
  }
  if (!PrepareInstance(*instance)) return nullptr;
  return instance;
}
#endif

// The tables of the cache. Never destroyed: threads may still draw while the process exits, and
// the faces stay reachable, so leak checkers do not report them.
class Cache {
 public:
  static Cache& Get() {
    static Cache* cache = new Cache();
    return *cache;
  }

  std::shared_ptr<const ResolvedFont> Find(const RequestKey& key) {
    std::lock_guard lock(tableMutex_);
    auto it = requests_.find(key);
    return it == requests_.end() ? nullptr : it->second;
  }

  void Remember(const RequestKey& key, std::shared_ptr<const ResolvedFont> font) {
    std::lock_guard lock(tableMutex_);
    if (requests_.size() >= kMaxRequests) requests_.clear();
    requests_.emplace(key, std::move(font));
  }

#if defined(_WIN32)
  // The source of a lookup, made on first use.
  FaceSource* SourceFor(const FaceQuery& query) {
    std::string key = platform::WideToUtf8(query.family) + '\n' + std::to_string(query.weight) +
                      (query.italic ? " italic " : " roman ") + std::to_string(query.charset) +
                      (query.exact ? " exact" : "");
    std::lock_guard lock(tableMutex_);
    std::unique_ptr<FaceSource>& source = sources_[{key, 0}];
    if (!source) source = std::make_unique<FaceSource>(query);
    return source.get();
  }

  // Serialises the matching of new requests.
  std::mutex& FontconfigMutex() {
    return fontconfigMutex_;
  }

 private:
  Cache() = default;

  std::mutex fontconfigMutex_;
#else
  // The source of a file and index, made on first use; takes a reference to @p charset.
  FaceSource* SourceFor(const std::string& file, int32_t index, FcCharSet* charset) {
    std::lock_guard lock(tableMutex_);
    std::unique_ptr<FaceSource>& source = sources_[{file, index}];
    if (!source) {
      source =
          std::make_unique<FaceSource>(file, index, charset ? FcCharSetCopy(charset) : nullptr);
    }
    return source.get();
  }

  // Serialises every fontconfig call; held while a new request is matched.
  std::mutex& FontconfigMutex() {
    return fontconfigMutex_;
  }

  // The fontconfig configuration of the cache, loaded on first use; nullptr when it cannot be
  // loaded or the process is exiting. Called with the fontconfig lock held.
  FcConfig* Config() {
    if (config_ == nullptr && !closed_) {
      config_ = FcInitLoadConfigAndFonts();
      if (config_ != nullptr) std::atexit(CloseConfig);
    }
    return config_;
  }

 private:
  Cache() = default;

  // A configuration of our own, independent of the process's default one, released when the
  // process exits: fontconfig frees some of what its configuration parser allocates only then.
  // Faces keep the coverage sets they copied, which hold their font caches alive on their own.
  static void CloseConfig() {
    Cache& cache = Get();
    std::lock_guard lock(cache.fontconfigMutex_);
    FcConfigDestroy(cache.config_);
    cache.config_ = nullptr;
    cache.closed_ = true;
  }

  std::mutex fontconfigMutex_;
  FcConfig* config_ = nullptr;  // guarded by fontconfigMutex_
  bool closed_ = false;         // guarded by fontconfigMutex_
#endif
  std::mutex tableMutex_;
  std::map<RequestKey, std::shared_ptr<const ResolvedFont>> requests_;
  std::map<std::pair<std::string, int32_t>, std::unique_ptr<FaceSource>> sources_;
};

#if defined(_WIN32)

// The families consulted, in this order, for characters that the face asked for lacks: the
// system's faces with the widest coverage of scripts and symbols.
constexpr const char16_t* kFallbackFamilies[] = {
    u"Arial",
    u"Segoe UI",
    u"Segoe UI Symbol",
    u"Segoe UI Emoji",
    u"Arial Unicode MS",
    u"Microsoft Sans Serif",
    u"Tahoma",
    u"Nirmala UI",
    u"Leelawadee UI",
    u"Ebrima",
    u"Gadugi",
    u"Malgun Gothic",
    u"Microsoft YaHei",
    u"Microsoft JhengHei",
    u"Yu Gothic",
    u"MS Gothic",
    u"SimSun",
    u"Liberation Sans",
    u"DejaVu Sans",
};

// The platform's character set code for a language tag of LanguageOfCharset, 1 (default) for
// the rest.
uint8_t CharsetOfLanguage(const std::string& language) {
  static const std::pair<const char*, uint8_t> kCharsets[] = {
      {"ja", 128}, {"ko", 129}, {"zh-cn", 134}, {"zh-tw", 136}, {"el", 161},
      {"tr", 162}, {"vi", 163}, {"he", 177},    {"ar", 178},    {"lt", 186},
      {"ru", 204}, {"th", 222}, {"pl", 238},
  };
  for (const auto& [tag, charset] : kCharsets) {
    if (language == tag) return charset;
  }
  return DEFAULT_CHARSET;
}

// The face of @p query when an instance of it can be opened.
bool Usable(FaceSource* source) {
  std::unique_ptr<FaceInstance> instance = source->Acquire();
  if (!instance) return false;
  source->Release(std::move(instance));
  return true;
}

// Matches a request through the system's font lookup; called with the matching lock held.
std::shared_ptr<const ResolvedFont> Match(const RequestKey& key) {
  ++matchesMade;
  auto font = std::make_shared<ResolvedFont>();
  FaceQuery query;
  query.family = platform::Utf8ToWide(key.family);
  query.weight = key.weight;
  query.italic = key.italic;
  query.charset = CharsetOfLanguage(key.language);
  font->primary.source = Cache::Get().SourceFor(query);
  // A family that gives nothing usable falls back to the system's default face.
  if (!Usable(font->primary.source)) {
    query.family.clear();
    font->primary.source = Cache::Get().SourceFor(query);
    if (!Usable(font->primary.source)) return nullptr;
  }
  font->primary.family = font->primary.source->Family();
  for (const char16_t* family : kFallbackFamilies) {
    if (font->fallbacks.size() >= kMaxFallbacks) break;
    FaceQuery fallback = query;
    fallback.family = family;
    fallback.exact = true;
    FaceSource* source = Cache::Get().SourceFor(fallback);
    if (source == font->primary.source) continue;
    font->fallbacks.push_back({source, platform::WideToUtf8(family)});
  }
  return font;
}

#else

// Reads the face a fontconfig pattern names; false when it names no file.
bool FaceOf(FcPattern* pattern, ResolvedFace& face) {
  FcChar8* file = nullptr;
  if (FcPatternGetString(pattern, FC_FILE, 0, &file) != FcResultMatch || file == nullptr) {
    return false;
  }
  int index = 0;
  FcPatternGetInteger(pattern, FC_INDEX, 0, &index);
  FcCharSet* charset = nullptr;
  FcPatternGetCharSet(pattern, FC_CHARSET, 0, &charset);
  face.source = Cache::Get().SourceFor(reinterpret_cast<const char*>(file), index, charset);
  FcChar8* family = nullptr;
  if (FcPatternGetString(pattern, FC_FAMILY, 0, &family) == FcResultMatch && family != nullptr) {
    face.family = reinterpret_cast<const char*>(family);
  }
  return true;
}

// The pattern of a request, with the configuration's substitutions applied.
PatternPtr RequestPattern(FcConfig* config, const RequestKey& key, const char* family) {
  PatternPtr pattern(FcPatternCreate());
  if (!pattern) return nullptr;
  if (family != nullptr && *family != '\0') {
    FcPatternAddString(pattern.get(), FC_FAMILY, reinterpret_cast<const FcChar8*>(family));
  }
  FcPatternAddInteger(pattern.get(), FC_WEIGHT, FcWeightFromOpenType(key.weight));
  FcPatternAddInteger(pattern.get(), FC_SLANT, key.italic ? FC_SLANT_ITALIC : FC_SLANT_ROMAN);
  FcPatternAddBool(pattern.get(), FC_SCALABLE, FcTrue);
  if (!key.language.empty()) {
    FcPatternAddString(pattern.get(), FC_LANG,
                       reinterpret_cast<const FcChar8*>(key.language.c_str()));
  }
  FcConfigSubstitute(config, pattern.get(), FcMatchPattern);
  FcDefaultSubstitute(pattern.get());
  return pattern;
}

// The best face for @p pattern that FreeType can open, or false.
bool MatchUsable(FcConfig* config, FcPattern* pattern, ResolvedFace& face) {
  FcResult result = FcResultNoMatch;
  PatternPtr match(FcFontMatch(config, pattern, &result));
  if (!match || !FaceOf(match.get(), face)) return false;
  std::unique_ptr<FaceInstance> instance = face.source->Acquire();
  if (!instance) return false;
  face.source->Release(std::move(instance));
  return true;
}

// Matches a request; called with the fontconfig lock held.
std::shared_ptr<const ResolvedFont> Match(const RequestKey& key) {
  ++matchesMade;
  FcConfig* config = Cache::Get().Config();
  if (config == nullptr) return nullptr;
  auto font = std::make_shared<ResolvedFont>();
  PatternPtr pattern = RequestPattern(config, key, key.family.c_str());
  if (!pattern) return nullptr;
  // A family that matches nothing usable falls back to the default face.
  if (!MatchUsable(config, pattern.get(), font->primary)) {
    PatternPtr fallback = RequestPattern(config, key, "sans-serif");
    if (!fallback || !MatchUsable(config, fallback.get(), font->primary)) return nullptr;
  }
  // Faces for the characters that the primary one lacks, in fontconfig's order (trimmed to those
  // that add coverage).
  FcResult result = FcResultNoMatch;
  FontSetPtr sorted(FcFontSort(config, pattern.get(), FcTrue, nullptr, &result));
  if (sorted) {
    for (int i = 0; i < sorted->nfont && font->fallbacks.size() < kMaxFallbacks; ++i) {
      ResolvedFace face;
      if (!FaceOf(sorted->fonts[i], face) || face.source == font->primary.source) continue;
      font->fallbacks.push_back(std::move(face));
    }
  }
  return font;
}

#endif  // defined(_WIN32)

}  // namespace

FaceInstance::~FaceInstance() {
  if (face != nullptr) FT_Done_Face(face);
  if (library != nullptr) FT_Done_FreeType(library);
}

#if defined(_WIN32)

namespace {

// The size a face is looked up at; any size selects the same font file.
constexpr LONG kDefaultRequestHeight = 16;

// Frees what the font lookup of one query made.
struct LookupContext {
  HDC dc = nullptr;
  HFONT font = nullptr;
  HGDIOBJ previous = nullptr;
  ~LookupContext() {
    if (previous != nullptr) SelectObject(dc, previous);
    if (font != nullptr) DeleteObject(font);
    if (dc != nullptr) DeleteDC(dc);
  }
};

// The whole font file of the face selected into @p dc: the collection when the face lies in one
// (@p collection set), else the single font file. Empty when GDI cannot hand it out.
std::vector<uint8_t> FontFileOf(HDC dc, bool& collection) {
  constexpr DWORD kCollectionTag = 0x66637474;  // 'ttcf', as GetFontData takes table tags
  DWORD size = GetFontData(dc, kCollectionTag, 0, nullptr, 0);
  collection = size != GDI_ERROR && size != 0;
  const DWORD table = collection ? kCollectionTag : 0;
  if (!collection) size = GetFontData(dc, 0, 0, nullptr, 0);
  if (size == GDI_ERROR || size == 0) return {};
  std::vector<uint8_t> data(size);
  if (GetFontData(dc, table, 0, data.data(), size) != size) return {};
  return data;
}

}  // namespace

FaceSource::FaceSource(FaceQuery query) : index_(0), query_(std::move(query)) {
}

bool FaceSource::Load() const {
  if (loaded_) return data_ != nullptr;
  loaded_ = true;
  // GDI chooses the face as it would for drawing (substitutes, weights, styles); only TrueType
  // and OpenType outlines qualify, since FreeType draws the glyphs.
  LOGFONTW request{};
  request.lfHeight = -kDefaultRequestHeight;
  request.lfWeight = query_.weight;
  request.lfItalic = query_.italic ? TRUE : FALSE;
  request.lfCharSet = query_.charset;
  request.lfOutPrecision = OUT_TT_ONLY_PRECIS;
  const std::u16string family = query_.family.substr(0, LF_FACESIZE - 1);
  std::copy(family.begin(), family.end(), request.lfFaceName);
  LookupContext lookup;
  lookup.dc = CreateCompatibleDC(nullptr);
  if (lookup.dc == nullptr) return false;
  lookup.font = CreateFontIndirectW(&request);
  if (lookup.font == nullptr) return false;
  lookup.previous = SelectObject(lookup.dc, lookup.font);
  if (query_.exact) {
    wchar_t chosen[LF_FACESIZE] = {};
    GetTextFaceW(lookup.dc, LF_FACESIZE, chosen);
    if (lstrcmpiW(chosen, reinterpret_cast<const wchar_t*>(family.c_str())) != 0) return false;
  }
  bool collection = false;
  auto data = std::make_shared<std::vector<uint8_t>>(FontFileOf(lookup.dc, collection));
  if (data->empty()) return false;

  // The face within the file, its names and the characters its map covers.
  FT_Library library = nullptr;
  if (FT_Init_FreeType(&library) != 0) return false;
  int32_t chosenIndex = 0;
  FT_Face face = nullptr;
  if (collection) {
    // GDI names the face it chose; the collection's face with that full name is the one.
    std::vector<wchar_t> metrics(GetOutlineTextMetricsW(lookup.dc, 0, nullptr));
    std::string fullName;
    if (!metrics.empty() &&
        GetOutlineTextMetricsW(lookup.dc, static_cast<UINT>(metrics.size() * sizeof(wchar_t)),
                               reinterpret_cast<OUTLINETEXTMETRICW*>(metrics.data())) != 0) {
      auto* otm = reinterpret_cast<OUTLINETEXTMETRICW*>(metrics.data());
      auto* base = reinterpret_cast<const char*>(otm);
      fullName = platform::WideToUtf8(
          reinterpret_cast<const char16_t*>(base + reinterpret_cast<uintptr_t>(otm->otmpFaceName)));
    }
    FT_Face probe = nullptr;
    for (int32_t index = 0;
         FT_New_Memory_Face(library, data->data(), static_cast<FT_Long>(data->size()), index,
                            &probe) == 0;
         ++index) {
      const bool last = index + 1 >= probe->num_faces;
      std::string name = probe->family_name != nullptr ? probe->family_name : "";
      if (probe->style_name != nullptr && std::string(probe->style_name) != "Regular") {
        name += std::string(" ") + probe->style_name;
      }
      FT_Done_Face(probe);
      if (name == fullName) {
        chosenIndex = index;
        break;
      }
      if (last) break;
    }
  }
  if (FT_New_Memory_Face(library, data->data(), static_cast<FT_Long>(data->size()), chosenIndex,
                         &face) == 0) {
    family_ = face->family_name != nullptr ? face->family_name : "";
    name_ = family_;
    if (face->style_name != nullptr) name_ += std::string(" ") + face->style_name;
    bool unicode = FT_Select_Charmap(face, FT_ENCODING_UNICODE) == 0;
    bool symbol = !unicode && FT_Select_Charmap(face, FT_ENCODING_MS_SYMBOL) == 0;
    if (unicode || symbol) {
      FT_UInt glyph = 0;
      for (FT_ULong code = FT_Get_First_Char(face, &glyph); glyph != 0;
           code = FT_Get_Next_Char(face, code, &glyph)) {
        // A symbol map answers 0x20 .. 0xFF at 0xF020 .. 0xF0FF.
        uint32_t point = static_cast<uint32_t>(
            symbol && code >= 0xF000 && code <= 0xF0FF ? code - 0xF000 : code);
        if (!coverage_.empty() && coverage_.back().second + 1 == point) {
          coverage_.back().second = point;
        } else {
          coverage_.emplace_back(point, point);
        }
      }
      std::sort(coverage_.begin(), coverage_.end());
    }
    FT_Done_Face(face);
  }
  FT_Done_FreeType(library);
  if (family_.empty() && name_.empty()) return false;
  faceIndex_ = chosenIndex;
  data_ = std::move(data);
  return true;
}

const std::string& FaceSource::File() const {
  std::lock_guard lock(mutex_);
  Load();
  return name_;
}

int32_t FaceSource::Index() const {
  std::lock_guard lock(mutex_);
  Load();
  return faceIndex_;
}

std::string FaceSource::Family() const {
  std::lock_guard lock(mutex_);
  Load();
  return family_;
}

bool FaceSource::Covers(uint32_t codePoint) const {
  std::lock_guard lock(mutex_);
  if (!Load()) return false;
  auto after =
      std::upper_bound(coverage_.begin(), coverage_.end(), std::make_pair(codePoint, UINT32_MAX));
  return after != coverage_.begin() && std::prev(after)->second >= codePoint;
}

std::unique_ptr<FaceInstance> FaceSource::Acquire() {
  std::shared_ptr<const std::vector<uint8_t>> data;
  int32_t index = 0;
  {
    std::lock_guard lock(mutex_);
    if (!idle_.empty()) {
      std::unique_ptr<FaceInstance> instance = std::move(idle_.back());
      idle_.pop_back();
      return instance;
    }
    if (!Load()) return nullptr;
    data = data_;
    index = faceIndex_;
  }
  // Opened outside the lock: each instance has a library of its own. The bytes live as long as
  // the source, which outlives every instance.
  return OpenInstance(*data, index);
}

#else

FaceSource::FaceSource(std::string file, int32_t index, FcCharSet* charset)
    : file_(std::move(file)), index_(index), charset_(charset) {
}

bool FaceSource::Covers(uint32_t codePoint) const {
  return charset_ != nullptr && FcCharSetHasChar(charset_, codePoint) == FcTrue;
}

std::unique_ptr<FaceInstance> FaceSource::Acquire() {
  {
    std::lock_guard lock(mutex_);
    if (!idle_.empty()) {
      std::unique_ptr<FaceInstance> instance = std::move(idle_.back());
      idle_.pop_back();
      return instance;
    }
  }
  // Opened outside the lock: each instance has a library of its own.
  return OpenInstance(file_, index_);
}

#endif  // defined(_WIN32)

void FaceSource::Release(std::unique_ptr<FaceInstance> instance) {
  if (!instance) return;
  std::lock_guard lock(mutex_);
  idle_.push_back(std::move(instance));
}

FaceLease& FaceLease::operator=(FaceLease&& other) noexcept {
  if (this != &other) {
    if (source_ != nullptr && instance_) source_->Release(std::move(instance_));
    source_ = std::exchange(other.source_, nullptr);
    instance_ = std::move(other.instance_);
  }
  return *this;
}

FaceLease::~FaceLease() {
  if (source_ != nullptr && instance_) source_->Release(std::move(instance_));
}

uint64_t MatchesMade() {
  return matchesMade.load();
}

uint64_t InstancesOpened() {
  return instancesOpened.load();
}

const char* LanguageOfCharset(int32_t charset) {
  switch (charset) {
    case 128:  // Shift JIS
      return "ja";
    case 129:  // Hangul
    case 130:  // Johab
      return "ko";
    case 134:  // GB 2312
      return "zh-cn";
    case 136:  // Big5
      return "zh-tw";
    case 161:
      return "el";
    case 162:
      return "tr";
    case 163:
      return "vi";
    case 177:
      return "he";
    case 178:
      return "ar";
    case 186:  // Baltic
      return "lt";
    case 204:  // Russian
      return "ru";
    case 222:
      return "th";
    case 238:  // Central European
      return "pl";
    default:
      return "";
  }
}

std::shared_ptr<const ResolvedFont> Resolve(const RequestKey& key) {
  Cache& cache = Cache::Get();
  if (auto font = cache.Find(key)) return font;
  std::lock_guard lock(cache.FontconfigMutex());
  // Another thread may have matched the same request while this one waited.
  if (auto font = cache.Find(key)) return font;
  std::shared_ptr<const ResolvedFont> font = Match(key);
  if (font) cache.Remember(key, font);
  return font;
}

}  // namespace corvella::overlay::fonts
