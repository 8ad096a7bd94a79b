#include "languages.h"

#include <QFile>
#include <QHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>

#include <algorithm>
#include <map>

namespace perlane::languages {

namespace {

struct Language {
    QString alpha2, terminology, bibliographic, name;
    bool listed_in_639_2 = false;
    // The code a plain-code choice offers: the bibliographic form Matroska's Language uses.
    QString code() const { return bibliographic.isEmpty() ? terminology : bibliographic; }
    // The primary subtag of a BCP 47 tag: the shortest form.
    QString primary() const { return alpha2.isEmpty() ? terminology : alpha2; }
};

struct Named {
    QString code; // in its usual case
    QString name;
};

// UN M.49 regions above the country level (countries are named by ISO 3166-1).
constexpr std::pair<const char *, const char *> m49_regions[] = {
    {"001", "World"}, {"002", "Africa"}, {"005", "South America"}, {"009", "Oceania"},
    {"011", "Western Africa"}, {"013", "Central America"}, {"014", "Eastern Africa"},
    {"015", "Northern Africa"}, {"017", "Middle Africa"}, {"018", "Southern Africa"},
    {"019", "Americas"}, {"021", "Northern America"}, {"029", "Caribbean"}, {"030", "Eastern Asia"},
    {"034", "Southern Asia"}, {"035", "South-eastern Asia"}, {"039", "Southern Europe"},
    {"053", "Australia and New Zealand"}, {"054", "Melanesia"}, {"057", "Micronesia"},
    {"061", "Polynesia"}, {"142", "Asia"}, {"143", "Central Asia"}, {"145", "Western Asia"},
    {"150", "Europe"}, {"151", "Eastern Europe"}, {"154", "Northern Europe"}, {"155", "Western Europe"},
    {"202", "Sub-Saharan Africa"}, {"419", "Latin America and the Caribbean"}};

struct Data {
    QString error; // why the lists could not be read
    std::vector<Language> languages;
    QHash<QString, std::size_t> by_code; // every code form, lower case
    QHash<QString, Named> scripts;       // by lower-case code
    QHash<QString, Named> regions;       // by upper-case alpha-2 or number
    QHash<QString, QString> region_by_number; // country number -> alpha-2
};

QJsonArray read_list(const QString &file, const QString &key, QString &error) {
    QFile f(data_directory() + QLatin1Char('/') + file);
    if (!f.open(QIODevice::ReadOnly)) {
        error = QStringLiteral("the language lists (%1) could not be read; install the iso-codes package")
                    .arg(f.fileName());
        return {};
    }
    return QJsonDocument::fromJson(f.readAll()).object().value(key).toArray();
}

QString first_name(const QString &name) { return name.section(QLatin1Char(';'), 0, 0).trimmed(); }

Data load() {
    Data d;
    auto add = [&](const QJsonObject &o, bool from_639_2) {
        const QString t = o.value(QStringLiteral("alpha_3")).toString();
        if (auto it = d.by_code.find(t); it != d.by_code.end()) {
            d.languages[*it].listed_in_639_2 |= from_639_2;
            return;
        }
        Language l{o.value(QStringLiteral("alpha_2")).toString(), t,
                   o.value(QStringLiteral("bibliographic")).toString(),
                   first_name(o.value(QStringLiteral("name")).toString()), from_639_2};
        const std::size_t i = d.languages.size();
        d.languages.push_back(l);
        for (const QString &code : {l.alpha2, l.terminology, l.bibliographic})
            if (!code.isEmpty())
                d.by_code.insert(code, i);
    };
    for (const auto &v : read_list(QStringLiteral("iso_639-2.json"), QStringLiteral("639-2"), d.error))
        if (!v.toObject().value(QStringLiteral("alpha_3")).toString().contains(QLatin1Char('-')))
            add(v.toObject(), true);
    for (const auto &v : read_list(QStringLiteral("iso_639-3.json"), QStringLiteral("639-3"), d.error))
        add(v.toObject(), false);
    for (const auto &v : read_list(QStringLiteral("iso_15924.json"), QStringLiteral("15924"), d.error)) {
        const QJsonObject o = v.toObject();
        const QString code = o.value(QStringLiteral("alpha_4")).toString();
        d.scripts.insert(code.toLower(), {code, o.value(QStringLiteral("name")).toString()});
    }
    for (const auto &v : read_list(QStringLiteral("iso_3166-1.json"), QStringLiteral("3166-1"), d.error)) {
        const QJsonObject o = v.toObject();
        const QString code = o.value(QStringLiteral("alpha_2")).toString();
        QString name = o.value(QStringLiteral("common_name")).toString();
        if (name.isEmpty())
            name = o.value(QStringLiteral("name")).toString();
        d.regions.insert(code, {code, name});
        d.region_by_number.insert(o.value(QStringLiteral("numeric")).toString(), code);
    }
    for (const auto &[number, name] : m49_regions)
        d.regions.insert(QLatin1StringView(number), {QLatin1StringView(number), QLatin1StringView(name)});
    return d;
}

const Data &data() {
    static const Data d = load();
    return d;
}

bool letters(QStringView s) {
    return std::ranges::all_of(s, [](QChar c) { return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z'); });
}
bool digits(QStringView s) {
    return std::ranges::all_of(s, [](QChar c) { return c >= u'0' && c <= u'9'; });
}

// ISO 639-2 reserves qaa to qtz for local use: valid, but nameless.
bool local_use(const QString &code) {
    return code.size() == 3 && code[0] == u'q' && code[1] >= u'a' && code[1] <= u't' && code[2] >= u'a' &&
           code[2] <= u'z';
}

struct Parsed {
    std::optional<std::size_t> language; // none for a local-use code
    QString primary;                     // as it will be written
    const Named *script = nullptr;
    const Named *region = nullptr;
    QString region_key; // alpha-2 for countries, even when given by number

    QString tag() const {
        QString t = primary;
        if (script)
            t += QLatin1Char('-') + script->code;
        if (region)
            t += QLatin1Char('-') + region->code;
        return t;
    }
    QString description(const Data &d) const {
        QString text = language ? d.languages[*language].name : QStringLiteral("Local use (%1)").arg(primary);
        QStringList details;
        if (script)
            details << script->name;
        if (region)
            details << region->name;
        if (!details.isEmpty())
            text += QStringLiteral(" (") + details.join(QStringLiteral(", ")) + QLatin1Char(')');
        return text;
    }
};

const QString example = QStringLiteral("for example eng, ger, pt-BR or zh-Hant-TW");

std::expected<Parsed, QString> parse(const QString &text) {
    const Data &d = data();
    if (!d.error.isEmpty())
        return std::unexpected(d.error);
    if (std::ranges::any_of(text, [](QChar c) { return c.unicode() < 0x20 || c.unicode() == 0x7f; }))
        return std::unexpected(QStringLiteral("A language code cannot contain control characters (line breaks, tabs)."));
    const QString trimmed = text.trimmed();
    if (trimmed.isEmpty())
        return std::unexpected(QStringLiteral("Enter a language code, ") + example + QLatin1Char('.'));
    const QStringList parts = trimmed.split(QLatin1Char('-'));
    Parsed p;
    const QString primary = parts[0].toLower();
    if (!letters(primary) || primary.size() < 2 || primary.size() > 3)
        return std::unexpected(QStringLiteral("\u201C%1\u201D is not a language code: use two or three letters, %2.")
                                   .arg(parts[0], example));
    if (auto it = d.by_code.find(primary); it != d.by_code.end())
        p.language = *it;
    else if (!local_use(primary))
        return std::unexpected(QStringLiteral("\u201C%1\u201D is not an ISO 639 language code.").arg(parts[0]));
    p.primary = primary;
    for (qsizetype i = 1; i < parts.size(); ++i) {
        const QString &part = parts[i];
        if (part.size() == 4 && letters(part) && !p.script && !p.region) {
            auto it = d.scripts.find(part.toLower());
            if (it == d.scripts.end())
                return std::unexpected(QStringLiteral("\u201C%1\u201D is not an ISO 15924 script code.").arg(part));
            p.script = &*it;
        } else if (((part.size() == 2 && letters(part)) || (part.size() == 3 && digits(part))) && !p.region) {
            QString key = part.toUpper();
            if (auto n = d.region_by_number.find(key); n != d.region_by_number.end())
                key = *n; // a country's number means the country
            auto it = d.regions.find(key);
            if (it == d.regions.end())
                return std::unexpected(QStringLiteral("\u201C%1\u201D is not an ISO 3166 country or UN region code.").arg(part));
            p.region = &*it;
        } else {
            return std::unexpected(
                QStringLiteral("\u201C%1\u201D: only a language, a script and a region can be given, %2.").arg(trimmed, example));
        }
    }
    // A tag with more than a language uses the language's shortest code ("ger-CH" is "de-CH").
    if (p.language && (p.script || p.region))
        p.primary = d.languages[*p.language].primary();
    return p;
}

// Identity of a parsed tag: the language (whatever code named it), script and region.
struct Key {
    QString language, script, region;
    bool operator==(const Key &) const = default;
};
std::optional<Key> key_of(const QString &tag) {
    const auto p = parse(tag);
    if (!p)
        return std::nullopt;
    return Key{p->language ? data().languages[*p->language].terminology : p->primary,
               p->script ? p->script->code : QString(), p->region ? p->region->code : QString()};
}

} // namespace

QString data_directory() { return QStringLiteral("/usr/share/iso-codes/json"); }

std::expected<Checked, QString> check(const QString &text) {
    const auto p = parse(text);
    if (!p)
        return std::unexpected(p.error());
    return Checked{p->tag(), p->description(data())};
}

QString describe(const QString &tag) {
    const auto p = parse(tag);
    return p ? p->description(data()) : QString();
}

bool same(const QString &a, const QString &b) {
    if (a == b)
        return true;
    const auto ka = key_of(a), kb = key_of(b);
    return ka && kb && *ka == *kb;
}

bool within(const QString &tag, const QString &wanted) {
    const auto k = key_of(tag), w = key_of(wanted);
    if (!k || !w)
        return tag == wanted;
    return k->language == w->language && (w->script.isEmpty() || w->script == k->script) &&
           (w->region.isEmpty() || w->region == k->region);
}

std::vector<Choice> search(const QString &query, std::size_t limit) {
    const Data &d = data();
    const QString q = query.trimmed().toLower();
    std::multimap<std::pair<int, QString>, Choice> ranked; // (rank, name) -> choice
    auto offer = [&](int rank, const QString &name, const QString &tag) {
        ranked.emplace(std::pair{rank, name}, Choice{tag, name + QStringLiteral(" \u2014 ") + tag});
    };
    if (const auto typed = parse(query); typed && !q.isEmpty())
        offer(0, typed->description(d), typed->tag());
    auto word_starts = [](const QString &name, const QString &part) {
        const QString lower = name.toLower();
        if (lower.startsWith(part))
            return true;
        for (qsizetype at = lower.indexOf(part); at > 0; at = lower.indexOf(part, at + 1))
            if (!lower[at - 1].isLetter())
                return true;
        return false;
    };
    for (const Language &l : d.languages) {
        if (!q.isEmpty() && (q == l.alpha2 || q == l.terminology || q == l.bibliographic))
            continue; // offered above as typed
        const int list = l.listed_in_639_2 ? 0 : 10; // the everyday list first
        const QString lower = l.name.toLower();
        if (q.isEmpty()) {
            if (l.listed_in_639_2)
                offer(2, l.name, l.code());
        } else if (lower.startsWith(q))
            offer(2 + list, l.name, l.code());
        else if (word_starts(l.name, q))
            offer(3 + list, l.name, l.code());
        else if (lower.contains(q))
            offer(4 + list, l.name, l.code());
    }
    // "portuguese bra", "Portuguese (Brazil": a language's name followed by a region's.
    const QStringList words = q.split(QRegularExpression(QStringLiteral("[^\\p{L}]+")), Qt::SkipEmptyParts);
    for (qsizetype k = 1; k < words.size(); ++k) {
        const QString language_part = words.mid(0, k).join(QLatin1Char(' '));
        const QString region_part = words.mid(k).join(QLatin1Char(' '));
        for (const Language &l : d.languages) {
            if (!l.listed_in_639_2 || !l.name.toLower().startsWith(language_part))
                continue;
            for (const Named &r : d.regions)
                if (word_starts(r.name, region_part))
                    offer(1, QStringLiteral("%1 (%2)").arg(l.name, r.name), l.primary() + QLatin1Char('-') + r.code);
        }
    }
    std::vector<Choice> out;
    for (const auto &[rank, choice] : ranked) {
        if (out.size() >= limit)
            break;
        if (std::ranges::none_of(out, [&](const Choice &c) { return c.tag == choice.tag; }))
            out.push_back(choice);
    }
    return out;
}

} // namespace perlane::languages
