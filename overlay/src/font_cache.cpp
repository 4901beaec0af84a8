#include "font_cache.h"

#include FT_TRUETYPE_TABLES_H

#include <algorithm>
#include <cstdlib>
#include <map>
#include <utility>

namespace corvella::overlay::fonts {

namespace {

std::atomic<uint64_t> matchesMade{0};
std::atomic<uint64_t> instancesOpened{0};

// Frees a fontconfig pattern or font set when it goes out of scope.
struct PatternDeleter {
  void operator()(FcPattern* p) const { FcPatternDestroy(p); }
};
struct FontSetDeleter {
  void operator()(FcFontSet* s) const { FcFontSetDestroy(s); }
};
using PatternPtr = std::unique_ptr<FcPattern, PatternDeleter>;
using FontSetPtr = std::unique_ptr<FcFontSet, FontSetDeleter>;

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
  if (!FT_IS_SCALABLE(instance->face)) return nullptr;
  if (FT_Select_Charmap(instance->face, FT_ENCODING_UNICODE) != 0) {
    if (FT_Select_Charmap(instance->face, FT_ENCODING_MS_SYMBOL) != 0) return nullptr;
    instance->symbolMap = true;
  }
  // The style the face was designed with, which decides what a request must synthesise.
  FT_Face face = instance->face;
  const auto* os2 = static_cast<const TT_OS2*>(FT_Get_Sfnt_Table(face, FT_SFNT_OS2));
  instance->bold = os2 != nullptr && os2->version != 0xFFFF
                       ? os2->usWeightClass >= kBoldWeight
                       : (face->style_flags & FT_STYLE_FLAG_BOLD) != 0;
  instance->italic = (face->style_flags & FT_STYLE_FLAG_ITALIC) != 0;
  return instance;
}

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
  std::mutex& FontconfigMutex() { return fontconfigMutex_; }

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
  std::mutex tableMutex_;
  std::map<RequestKey, std::shared_ptr<const ResolvedFont>> requests_;
  std::map<std::pair<std::string, int32_t>, std::unique_ptr<FaceSource>> sources_;
};

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

}  // namespace

FaceInstance::~FaceInstance() {
  if (face != nullptr) FT_Done_Face(face);
  if (library != nullptr) FT_Done_FreeType(library);
}

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
