#include "kernels/flat_sum_text.hpp"

#include <unordered_map>

#include "kernels/python_names.hpp"

namespace tarvo::kernels {

namespace {

struct Refused {};

void require(bool condition) {
    if (!condition) throw Refused{};
}

class Reader {
public:
    Reader(std::string_view text, SumShapes shapes) : text_(text), shapes_(shapes) {}

    FlatSumText read() {
        FlatSumText read;
        expect("FormulaPB(");
        // No name of a comparison's sum can be None, so only an objective holds this.
        if (text_.find(kObjectiveEnd) != std::string_view::npos) {
            read.objective = true;
            read.weight = integer(true);
            expect(" * (");
            sum(read);
            expect(kObjectiveEnd);
            const std::size_t start = position_;
            if (!take("True") && !take("False") && !take("None")) integer(true);
            read.minimization = std::string(text_.substr(start, position_ - start));
            expect(")");
        } else {
            sum(read);
            comparison(read);
        }
        require(position_ == text_.size());
        return read;
    }

private:
    static constexpr std::string_view kObjectiveEnd = "), None, None).to_maxsat(manager, ";

    void sum(FlatSumText& read) {
        if (take("Sum(*[")) {
            members(read);
            expect("])");
        } else {
            require(shapes_ == SumShapes::listed_or_chained);
            chain(read);
        }
    }

    void comparison(FlatSumText& read) {
        expect(", pb.Comparator_type.");
        read.comparator = std::string(identifier());
        expect(", ");
        read.bound = integer(true);
        expect(").to_bx(manager)");
    }

    void chain(FlatSumText& read) {
        member(read);
        while (true) {
            if (take(" + ")) {
                member(read);
            } else if (take(" - (")) {
                member(read);
                read.members.back().subtracted = true;
                expect(")");
            } else {
                return;
            }
        }
    }

    void members(FlatSumText& read) {
        do {
            member(read);
        } while (take(", "));
    }

    void member(FlatSumText& read) {
        FlatSumMember member;
        if (position_ < text_.size() && (text_[position_] == '-' || is_ascii_digit(text_[position_]))) {
            member.scaled = true;
            member.coefficient = integer(true);
            expect(" * (");
        }
        const std::string_view name = identifier();
        const auto [found, added] = names_.try_emplace(name, read.names.size());
        if (added) read.names.emplace_back(name);
        member.name = found->second;
        member.first_index = read.indexes.size();
        expect("(");
        do {
            read.indexes.push_back(integer(false));
        } while (take(","));
        member.index_count = read.indexes.size() - member.first_index;
        expect(").to_pb()");
        if (member.scaled) expect(")");
        read.members.push_back(member);
    }

    // Decimal digits as Python reads an int; with `signed`, a "-" may come first.
    std::int64_t integer(bool signed_) {
        const bool negative = signed_ && take("-");
        const auto value = read_decimal_int(text_, position_);
        require(value.has_value());
        return negative ? -*value : *value;
    }

    // An ASCII name that Python looks up as written.
    std::string_view identifier() {
        const std::size_t start = position_;
        while (position_ < text_.size() && is_ascii_name_char(text_[position_])) ++position_;
        const std::string_view name = text_.substr(start, position_ - start);
        require(is_ascii_identifier(name) && is_plain_name(name));
        return name;
    }

    bool take(std::string_view expected) {
        if (text_.substr(position_, expected.size()) != expected) return false;
        position_ += expected.size();
        return true;
    }

    void expect(std::string_view expected) { require(take(expected)); }

    std::string_view text_;
    SumShapes shapes_;
    std::size_t position_ = 0;
    std::unordered_map<std::string_view, std::size_t> names_;
};

}  // namespace

std::optional<FlatSumText> read_flat_sum_text(std::string_view text, SumShapes shapes) {
    try {
        return Reader(text, shapes).read();
    } catch (const Refused&) {
        return std::nullopt;
    }
}

}  // namespace tarvo::kernels
