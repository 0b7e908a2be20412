#include "kernels/linear_rows.hpp"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>
#include <string_view>
#include <utility>

#include "kernels/python_names.hpp"

namespace tarvo::kernels {

namespace {

struct Refused {};

[[noreturn]] void refuse() { throw Refused{}; }

void require(bool condition) {
    if (!condition) refuse();
}

// Past these the host's compiler gives up (recursion) or its parser refuses
// (nesting) where this reader would go on: such texts are the evaluation's.
// Together (a sum's depth, signs in a row, brackets) they stay well below
// the compiler's limit of about 2,500 levels.
constexpr int kDepthLimit = 1000;
constexpr int kNestingLimit = 100;
constexpr int kSignsLimit = 200;

// ---- numbers, as the host's int and float arithmetic computes them ----------------------------------------------

LinearNumber finite(double value) {
    require(std::isfinite(value));
    return LinearNumber::of_real(value);
}

LinearNumber plus(const LinearNumber& a, const LinearNumber& b) {
    if (a.integral && b.integral) {
        std::int64_t sum = 0;
        require(!__builtin_add_overflow(a.integer, b.integer, &sum));
        return LinearNumber::of_int(sum);
    }
    return finite(a.as_real() + b.as_real());
}

LinearNumber minus(const LinearNumber& a, const LinearNumber& b) {
    if (a.integral && b.integral) {
        std::int64_t difference = 0;
        require(!__builtin_sub_overflow(a.integer, b.integer, &difference));
        return LinearNumber::of_int(difference);
    }
    return finite(a.as_real() - b.as_real());
}

LinearNumber times(const LinearNumber& a, const LinearNumber& b) {
    if (a.integral && b.integral) {
        std::int64_t product = 0;
        require(!__builtin_mul_overflow(a.integer, b.integer, &product));
        return LinearNumber::of_int(product);
    }
    return finite(a.as_real() * b.as_real());
}

LinearNumber negated(const LinearNumber& a) {
    if (a.integral) {
        require(a.integer != std::numeric_limits<std::int64_t>::min());
        return LinearNumber::of_int(-a.integer);
    }
    return LinearNumber::of_real(-a.real);
}

const LinearNumber kZero = LinearNumber::of_int(0);
const LinearNumber kOne = LinearNumber::of_int(1);

// ---- linear terms: column -> coefficient, as the compiled expressions' dicts hold them --------------------------

// The terms of an expression, in ascending column order, one entry per column.
class Terms {
public:
    using Entry = std::pair<std::int64_t, LinearNumber>;

    static Terms single(std::int64_t column, const LinearNumber& value) {
        Terms terms;
        terms.entries_.emplace_back(column, value);
        return terms;
    }

    // Every entry of `other` added (subtracted): entry + value (entry - value),
    // a new entry 0 + value (0 - value); then no zero entry is left.
    void merge(const Terms& other, bool subtract) {
        std::vector<Entry> merged;
        merged.reserve(entries_.size() + other.entries_.size());
        auto mine = entries_.begin();
        for (const Entry& entry : other.entries_) {
            while (mine != entries_.end() && mine->first < entry.first) merged.push_back(*mine++);
            const bool shared = mine != entries_.end() && mine->first == entry.first;
            const LinearNumber& start = shared ? mine->second : kZero;
            merged.emplace_back(entry.first, subtract ? minus(start, entry.second) : plus(start, entry.second));
            if (shared) ++mine;
        }
        merged.insert(merged.end(), mine, entries_.end());
        entries_ = std::move(merged);
        drop_zeros();
    }

    // value * factor for every entry; zero entries stay.
    void scale(const LinearNumber& factor) {
        for (Entry& entry : entries_) entry.second = times(entry.second, factor);
    }

    void negate() {
        for (Entry& entry : entries_) entry.second = negated(entry.second);
    }

    void drop_zeros() {
        entries_.erase(std::remove_if(entries_.begin(), entries_.end(),
                                      [](const Entry& entry) { return entry.second.is_zero(); }),
                       entries_.end());
    }

    const std::vector<Entry>& entries() const { return entries_; }

private:
    friend class TermTotal;
    std::vector<Entry> entries_;
};

// Many expressions' terms added up in order, each column's values as
// ((0 + v1) + v2) + ...: appended as they come, folded once at the end.
class TermTotal {
public:
    void reserve(std::size_t count) { added_.reserve(count); }

    void add(std::int64_t column, const LinearNumber& value) { added_.emplace_back(column, value); }

    Terms folded() {
        const auto by_column = [](const Terms::Entry& a, const Terms::Entry& b) { return a.first < b.first; };
        // Rows are mostly written in column order already.
        if (!std::is_sorted(added_.begin(), added_.end(), by_column)) {
            std::stable_sort(added_.begin(), added_.end(), by_column);
        }
        std::size_t kept = 0;
        for (std::size_t k = 0; k < added_.size(); ++k) {
            if (kept != 0 && added_[kept - 1].first == added_[k].first) {
                added_[kept - 1].second = plus(added_[kept - 1].second, added_[k].second);
            } else {
                added_[kept++] = {added_[k].first, plus(kZero, added_[k].second)};
            }
        }
        added_.resize(kept);
        Terms terms;
        terms.entries_ = std::move(added_);
        return terms;
    }

private:
    std::vector<Terms::Entry> added_;
};

// The value of a piece of text: a number, or an expression (its constant and terms).
struct Value {
    bool expression = false;
    LinearNumber constant;
    Terms terms;
};

// ---- the parsed text ---------------------------------------------------------------------------------------------

// Subscript arithmetic in postfix order: literals and loop names, + - * and
// unary -; `end` closes one subscript, whose value is then on the stack.
enum class Step : std::uint8_t { literal, name, add, subtract, multiply, negate, end };

struct SubscriptStep {
    Step step = Step::literal;
    std::int64_t value = 0;  // a literal's value, a name's loop slot (-1 until a clause binds it)
    std::string_view name;
};

// `scaled` is an element times a number (n * (x(...)) or (x(...)) * n), one
// node where a row of a thousand such terms would otherwise take three.
enum class Kind : std::uint8_t { number, element, scaled, negate, positive, add, subtract, multiply, sum, comprehension };

// Past any block: an element whose literal subscripts lie outside it (left
// to the evaluation, if it is ever evaluated).
constexpr std::int64_t kOutside = -2;
// An element with symbolic subscripts, whose column each evaluation computes.
constexpr std::int64_t kComputed = -1;

struct Node {
    Kind kind = Kind::number;
    int depth = 1;
    LinearNumber number;
    const LinearBlock* block = nullptr;
    std::int64_t column = kComputed;
    std::uint32_t first = 0;  // element: its steps; sum: its items; comprehension: its clauses
    std::uint32_t count = 0;  // element: its subscripts' steps; sum: items; comprehension: clauses
    std::uint32_t subscripts = 0;
    std::uint32_t left = 0;   // operands; a comprehension's body
    std::uint32_t right = 0;
};

struct Clause {
    std::string_view name;
    std::uint32_t slot = 0;
    bool is_range = false;
    std::int64_t start = 0, stop = 0, step = 1;
    std::vector<std::int64_t> values;
};

class Reader {
public:
    Reader(std::string_view text, std::string_view fors, const BlockLookup& blocks)
        : text_(text), fors_(fors), blocks_(blocks) {}

    LinearRows read() {
        // At most a node and an item per few characters: no growing (and copying) of long rows' vectors.
        nodes_.reserve(text_.size() / 8 + 8);
        items_.reserve(text_.size() / 8 + 8);
        const std::uint32_t root = expression();
        skip();
        require(position_ == text_.size());
        // The foralls bind the names of the whole text.
        text_ = fors_;
        position_ = 0;
        const std::size_t first_clause = clauses_.size();
        skip();
        while (position_ < text_.size()) {
            clause();
            skip();
        }
        bind(0, first_clause);
        for (const SubscriptStep& step : steps_) require(step.step != Step::name || step.value >= 0);
        slots_.assign(clauses_.size(), 0);
        rows(root, first_clause, clauses_.size());
        return std::move(rows_);
    }

private:
    // ---- reading --------------------------------------------------------------------------------------------------

    void skip() {
        while (position_ < text_.size() && text_[position_] == ' ') ++position_;
    }

    bool take(char expected) {
        skip();
        if (position_ >= text_.size() || text_[position_] != expected) return false;
        ++position_;
        return true;
    }

    void expect(char expected) { require(take(expected)); }

    bool at(char expected) {
        skip();
        return position_ < text_.size() && text_[position_] == expected;
    }

    // A * that is not the start of **.
    bool take_times() {
        if (!at('*')) return false;
        require(position_ + 1 >= text_.size() || text_[position_ + 1] != '*');
        ++position_;
        return true;
    }

    bool at_name_start() {
        skip();
        return position_ < text_.size() && is_ascii_name_start(text_[position_]);
    }

    bool at_digit() {
        skip();
        return position_ < text_.size() && is_ascii_digit(text_[position_]);
    }

    // An ASCII identifier; a name, unless it is the keyword the caller asks for.
    std::string_view word() {
        skip();
        const std::size_t start = position_;
        while (position_ < text_.size() && is_ascii_name_char(text_[position_])) ++position_;
        const std::string_view name = text_.substr(start, position_ - start);
        require(is_ascii_identifier(name));
        // A non-ASCII letter would continue the name as the host reads it.
        require(position_ >= text_.size() || static_cast<unsigned char>(text_[position_]) < 0x80);
        return name;
    }

    std::string_view name() {
        const std::string_view name = word();
        require(is_plain_name(name));
        return name;
    }

    bool take_word(std::string_view expected) {
        skip();
        const std::size_t start = position_;
        if (!at_name_start() || word() != expected) {
            position_ = start;
            return false;
        }
        return true;
    }

    // Decimal digits, a "." with digits, an exponent: an int or a float as the host reads the literal.
    LinearNumber number() {
        skip();
        const std::size_t start = position_;
        const auto digits = [this] {
            const std::size_t first = position_;
            while (position_ < text_.size() && is_ascii_digit(text_[position_])) ++position_;
            return position_ > first;
        };
        digits();
        bool real = false;
        if (position_ < text_.size() && text_[position_] == '.') {
            ++position_;
            require(digits());
            real = true;
        }
        if (position_ < text_.size() && (text_[position_] == 'e' || text_[position_] == 'E')) {
            ++position_;
            if (position_ < text_.size() && (text_[position_] == '+' || text_[position_] == '-')) ++position_;
            require(digits());
            real = true;
        }
        // 1j, 1_000, 1.5.2, 0x1 and the like are the host's to read.
        require(position_ >= text_.size() || !(is_ascii_name_char(text_[position_]) || text_[position_] == '.' ||
                                               static_cast<unsigned char>(text_[position_]) >= 0x80));
        const std::string_view literal = text_.substr(start, position_ - start);
        if (!real) {
            const auto value = decimal_int(literal);
            require(value.has_value());
            return LinearNumber::of_int(*value);
        }
        double value = 0.0;
        const auto [end, error] = std::from_chars(literal.data(), literal.data() + literal.size(), value);
        require(error == std::errc() && end == literal.data() + literal.size());
        return finite(value);
    }

    std::int64_t signed_int() {
        const bool negative = take('-');
        skip();
        const std::size_t start = position_;
        while (position_ < text_.size() && is_ascii_digit(text_[position_])) ++position_;
        const auto value = decimal_int(text_.substr(start, position_ - start));
        require(value.has_value());
        return negative ? -*value : *value;
    }

    std::uint32_t add_node(Node node) {
        require(node.depth <= kDepthLimit);
        nodes_.push_back(node);
        return static_cast<std::uint32_t>(nodes_.size() - 1);
    }

    std::uint32_t binary(Kind kind, std::uint32_t left, std::uint32_t right) {
        Node node;
        node.kind = kind;
        node.left = left;
        node.right = right;
        node.depth = 1 + std::max(nodes_[left].depth, nodes_[right].depth);
        return add_node(node);
    }

    // Opening a bracket: the host's parser refuses deep nesting.
    void open(char bracket) {
        expect(bracket);
        require(++nesting_ <= kNestingLimit);
    }

    void close(char bracket) {
        expect(bracket);
        --nesting_;
    }

    // left * right; an element and a number, the last two nodes read, become one scaled element.
    std::uint32_t product(std::uint32_t left, std::uint32_t right) {
        const Kind first = nodes_[left].kind;
        const Kind second = nodes_[right].kind;
        const bool pair = left + 1 == right && right + 1 == nodes_.size() &&
                          ((first == Kind::number && second == Kind::element) ||
                           (first == Kind::element && second == Kind::number));
        if (!pair) return binary(Kind::multiply, left, right);
        Node scaled = nodes_[first == Kind::element ? left : right];
        scaled.kind = Kind::scaled;
        scaled.number = nodes_[first == Kind::number ? left : right].number;
        scaled.depth = 2;
        nodes_.resize(left);
        return add_node(scaled);
    }

    std::uint32_t expression() {
        std::uint32_t node = term();
        while (true) {
            if (take('+')) {
                node = binary(Kind::add, node, term());
            } else if (take('-')) {
                node = binary(Kind::subtract, node, term());
            } else {
                return node;
            }
        }
    }

    std::uint32_t term() {
        std::uint32_t node = unary();
        while (take_times()) node = product(node, unary());
        return node;
    }

    // A run of signs recurses once per sign, before any node counts its depth.
    struct Signs {
        explicit Signs(int& depth) : depth_(depth) { require(++depth_ <= kSignsLimit); }
        ~Signs() { --depth_; }
        Signs(const Signs&) = delete;
        Signs& operator=(const Signs&) = delete;
        int& depth_;
    };

    std::uint32_t unary() {
        const Signs signs(signs_);
        const bool minus_sign = take('-');
        if (!minus_sign && !take('+')) return primary();
        const std::uint32_t operand = unary();
        if (nodes_[operand].kind == Kind::number) {
            // The host folds a signed literal into one constant.
            if (minus_sign) nodes_[operand].number = negated(nodes_[operand].number);
            return operand;
        }
        Node node;
        node.kind = minus_sign ? Kind::negate : Kind::positive;
        node.left = operand;
        node.depth = 1 + nodes_[operand].depth;
        return add_node(node);
    }

    std::uint32_t primary() {
        if (at_digit()) {
            Node node;
            node.number = number();
            return add_node(node);
        }
        if (at('(')) {
            open('(');
            const std::uint32_t node = expression();
            close(')');
            return node;
        }
        require(at_name_start());
        const std::string_view callee = name();
        return callee == "CompiledSum" ? sum() : element(callee);
    }

    std::uint32_t element(std::string_view variable) {
        Node node;
        node.kind = Kind::element;
        // A row calls the same few variables over and over.
        if (variable != last_name_) {
            last_name_ = variable;
            last_block_ = blocks_(variable);
        }
        node.block = last_block_;
        require(node.block != nullptr);
        node.first = static_cast<std::uint32_t>(steps_.size());
        open('(');
        if (!take(')')) {
            do {
                subscript_sum();
                steps_.push_back({Step::end, 0, {}});
                ++node.subscripts;
            } while (take(','));
            close(')');
        } else {
            --nesting_;
        }
        node.count = static_cast<std::uint32_t>(steps_.size()) - node.first;
        const bool literal = std::all_of(steps_.begin() + node.first, steps_.end(),
                                         [](const SubscriptStep& step) { return step.step != Step::name; });
        if (literal) {
            const auto column = column_of(node);
            node.column = column ? *column : kOutside;
            steps_.resize(node.first);
            node.count = 0;
        }
        return add_node(node);
    }

    void subscript_sum() {
        subscript_product();
        while (true) {
            if (take('+')) {
                subscript_product();
                steps_.push_back({Step::add, 0, {}});
            } else if (take('-')) {
                subscript_product();
                steps_.push_back({Step::subtract, 0, {}});
            } else {
                return;
            }
        }
    }

    void subscript_product() {
        subscript_unary();
        while (take_times()) {
            subscript_unary();
            steps_.push_back({Step::multiply, 0, {}});
        }
    }

    void subscript_unary() {
        const Signs signs(signs_);
        if (take('-')) {
            subscript_unary();
            steps_.push_back({Step::negate, 0, {}});
        } else if (take('+')) {
            subscript_unary();
        } else if (at('(')) {
            open('(');
            subscript_sum();
            close(')');
        } else if (at_digit()) {
            const LinearNumber value = number();
            require(value.integral);  // a float subscript is the evaluation's to refuse
            steps_.push_back({Step::literal, value.integer, {}});
        } else {
            require(at_name_start());
            steps_.push_back({Step::name, -1, name()});
        }
    }

    std::uint32_t sum() {
        open('(');
        open('[');
        require(!at(']'));
        const std::size_t first_step = steps_.size();
        std::vector<std::uint32_t> items{expression()};
        Node node;
        if (at_name_start()) {
            node.kind = Kind::comprehension;
            node.left = items.front();
            node.first = static_cast<std::uint32_t>(clauses_.size());
            while (at_name_start()) clause();
            node.count = static_cast<std::uint32_t>(clauses_.size()) - node.first;
            bind(first_step, node.first);
            node.depth = 1 + nodes_[node.left].depth;
        } else {
            node.kind = Kind::sum;
            while (take(',')) items.push_back(expression());
            node.first = static_cast<std::uint32_t>(items_.size());
            node.count = static_cast<std::uint32_t>(items.size());
            for (const std::uint32_t item : items) node.depth = std::max(node.depth, 1 + nodes_[item].depth);
            items_.insert(items_.end(), items.begin(), items.end());
        }
        close(']');
        close(')');
        return add_node(node);
    }

    // for <name> in range(...) | [ints] | (ints)
    void clause() {
        require(take_word("for"));
        Clause clause;
        clause.name = name();
        // Bound as a loop name, these would hide what the text calls.
        require(clause.name != "range" && clause.name != "CompiledSum" && blocks_(clause.name) == nullptr);
        require(take_word("in"));
        if (take_word("range")) {
            open('(');
            std::vector<std::int64_t> arguments{signed_int()};
            while (arguments.size() < 3 && take(',')) arguments.push_back(signed_int());
            close(')');
            clause.is_range = true;
            clause.start = arguments.size() == 1 ? 0 : arguments[0];
            clause.stop = arguments.size() == 1 ? arguments[0] : arguments[1];
            clause.step = arguments.size() == 3 ? arguments[2] : 1;
            require(clause.step != 0);
        } else {
            const char closing = at('[') ? ']' : ')';
            open(closing == ']' ? '[' : '(');
            while (!at(closing)) {
                clause.values.push_back(signed_int());
                if (!take(',')) break;
            }
            close(closing);
        }
        clause.slot = static_cast<std::uint32_t>(clauses_.size());
        clauses_.push_back(clause);
    }

    // Binds the still unbound names of the steps from `first_step` on to the
    // clauses from `first_clause` on: the last clause of a name wins.
    void bind(std::size_t first_step, std::size_t first_clause) {
        for (std::size_t k = first_step; k < steps_.size(); ++k) {
            SubscriptStep& step = steps_[k];
            if (step.step != Step::name || step.value >= 0) continue;
            for (std::size_t c = clauses_.size(); c > first_clause; --c) {
                if (clauses_[c - 1].name == step.name) {
                    step.value = clauses_[c - 1].slot;
                    break;
                }
            }
        }
    }

    // ---- evaluating -----------------------------------------------------------------------------------------------

    // The element's column at the loops' current values, nullopt outside its block.
    std::optional<std::int64_t> column_of(const Node& node) const {
        const LinearBlock& block = *node.block;
        if (node.subscripts != block.sizes.size()) return std::nullopt;
        std::int64_t stack[64];
        std::size_t depth = 0;
        std::int64_t column = block.first;
        std::size_t subscript = 0;
        for (std::uint32_t k = node.first; k < node.first + node.count; ++k) {
            const SubscriptStep& step = steps_[k];
            switch (step.step) {
                case Step::literal:
                case Step::name:
                    require(depth < 64);
                    stack[depth++] =
                        step.step == Step::literal ? step.value : slots_[static_cast<std::size_t>(step.value)];
                    break;
                case Step::negate:
                    require(stack[depth - 1] != std::numeric_limits<std::int64_t>::min());
                    stack[depth - 1] = -stack[depth - 1];
                    break;
                case Step::end: {
                    const std::int64_t value = stack[--depth];
                    if (value < 0 || value >= block.sizes[subscript]) return std::nullopt;
                    column += value * block.strides[subscript];
                    ++subscript;
                    break;
                }
                default: {
                    const std::int64_t right = stack[--depth];
                    std::int64_t& left = stack[depth - 1];
                    const bool overflow = step.step == Step::add        ? __builtin_add_overflow(left, right, &left)
                                          : step.step == Step::subtract ? __builtin_sub_overflow(left, right, &left)
                                                                        : __builtin_mul_overflow(left, right, &left);
                    require(!overflow);
                }
            }
        }
        require(column <= std::numeric_limits<std::int32_t>::max());
        return column;
    }

    std::int64_t column(const Node& node) {
        std::int64_t column = node.column;
        if (column == kComputed) {
            const auto computed = column_of(node);
            require(computed.has_value());
            column = *computed;
        }
        require(column != kOutside);
        rows_.height = std::max(rows_.height, column + 1);
        return column;
    }

    Value evaluate(std::uint32_t index) {
        const Node& node = nodes_[index];
        Value value;
        switch (node.kind) {
            case Kind::number:
                value.constant = node.number;
                return value;
            case Kind::element:
                value.expression = true;
                value.constant = kZero;
                value.terms = Terms::single(column(node), kOne);
                return value;
            case Kind::scaled:
                value.expression = true;
                value.constant = times(node.number, kZero);
                value.terms = Terms::single(column(node), times(kOne, node.number));
                return value;
            case Kind::negate:
                value = evaluate(node.left);
                require(value.expression);
                value.constant = negated(value.constant);
                value.terms.negate();
                return value;
            case Kind::positive:
                value = evaluate(node.left);
                require(value.expression);
                return value;
            case Kind::add:
            case Kind::subtract:
                return combined(evaluate(node.left), evaluate(node.right), node.kind == Kind::subtract);
            case Kind::multiply:
                return product(evaluate(node.left), evaluate(node.right));
            case Kind::sum:
            case Kind::comprehension: return summed(node);
        }
        refuse();
    }

    // left + right, left - right: an expression with a number, or two expressions.
    static Value combined(Value left, Value right, bool subtract) {
        if (left.expression && right.expression) {
            left.constant = subtract ? minus(left.constant, right.constant) : plus(left.constant, right.constant);
            left.terms.merge(right.terms, subtract);
            return left;
        }
        if (left.expression) {
            left.constant = subtract ? minus(left.constant, right.constant) : plus(left.constant, right.constant);
            return left;
        }
        // number + expression is the expression's own sum; number - expression has no meaning.
        require(right.expression && !subtract);
        right.constant = plus(right.constant, left.constant);
        return right;
    }

    // An expression times a number, in either order.
    static Value product(Value left, Value right) {
        require(left.expression != right.expression);
        Value& expression = left.expression ? left : right;
        const LinearNumber factor = left.expression ? right.constant : left.constant;
        expression.constant = times(factor, expression.constant);
        expression.terms.scale(factor);
        return std::move(expression);
    }

    // CompiledSum of its items, or of its body over its clauses: the
    // expressions' terms added up in order.
    struct Total {
        LinearNumber constant = kZero;
        std::int64_t expressions = 0;
        TermTotal terms;

        // The first expression is added to the start value 0, as `e + 0`.
        void add_constant(const LinearNumber& constant_) {
            constant = expressions == 0 ? plus(constant_, constant) : plus(constant, constant_);
            ++expressions;
        }
    };

    Value summed(const Node& node) {
        Total total;
        if (node.kind == Kind::sum) {
            total.terms.reserve(node.count);
            for (std::uint32_t k = node.first; k < node.first + node.count; ++k) add_item(total, items_[k]);
        } else {
            loop(total, node, node.first);
        }
        require(total.expressions > 0);  // an empty sum is the evaluation's
        Value value;
        value.expression = true;
        value.constant = total.constant;
        value.terms = total.terms.folded();
        if (total.expressions > 1) value.terms.drop_zeros();
        return value;
    }

    void loop(Total& total, const Node& node, std::uint32_t clause) {
        if (clause == node.first + node.count) {
            add_item(total, node.left);
            return;
        }
        for_each_value(clauses_[clause], [&] { loop(total, node, clause + 1); });
    }

    template <typename Body>
    void for_each_value(const Clause& clause, Body body) {
        std::int64_t& slot = slots_[clause.slot];
        if (!clause.is_range) {
            for (const std::int64_t value : clause.values) {
                slot = value;
                body();
            }
            return;
        }
        for (std::int64_t value = clause.start; clause.step > 0 ? value < clause.stop : value > clause.stop;) {
            slot = value;
            body();
            if (__builtin_add_overflow(value, clause.step, &value)) break;
        }
    }

    void add_item(Total& total, std::uint32_t index) {
        const Node& node = nodes_[index];
        // The common items without a Value of their own: x(...) and n * (x(...)),
        // whose constant is n * 0 and coefficient 1 * n.
        if (node.kind == Kind::element || node.kind == Kind::scaled) {
            const bool scaled = node.kind == Kind::scaled;
            total.add_constant(scaled ? times(node.number, kZero) : kZero);
            total.terms.add(column(node), scaled ? times(kOne, node.number) : kOne);
            return;
        }
        const Value value = evaluate(index);
        require(value.expression);
        total.add_constant(value.constant);
        for (const Terms::Entry& entry : value.terms.entries()) total.terms.add(entry.first, entry.second);
    }

    void rows(std::uint32_t root, std::size_t clause, std::size_t end) {
        if (clause == end) {
            Value value = evaluate(root);
            require(value.expression);
            rows_.constants.push_back(value.constant);
            for (const Terms::Entry& entry : value.terms.entries()) {
                rows_.columns.push_back(entry.first);
                rows_.values.push_back(entry.second);
            }
            rows_.ends.push_back(rows_.columns.size());
            return;
        }
        for_each_value(clauses_[clause], [&] { rows(root, clause + 1, end); });
    }

    std::string_view text_;
    std::string_view fors_;
    const BlockLookup& blocks_;
    std::string_view last_name_;
    const LinearBlock* last_block_ = nullptr;
    std::size_t position_ = 0;
    int nesting_ = 0;
    int signs_ = 0;
    std::vector<Node> nodes_;
    std::vector<std::uint32_t> items_;
    std::vector<SubscriptStep> steps_;
    std::vector<Clause> clauses_;
    std::vector<std::int64_t> slots_;
    LinearRows rows_;
};

}  // namespace

std::optional<LinearRows> read_linear_rows(std::string_view text, std::string_view fors, const BlockLookup& blocks) {
    try {
        return Reader(text, fors, blocks).read();
    } catch (const Refused&) {
        return std::nullopt;
    }
}

}  // namespace tarvo::kernels
