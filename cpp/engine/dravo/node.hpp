#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace corvane::dravo {

enum class Kind : std::uint8_t { Zero, One, Variable, Not, And, Or, Xor, Eq, Impl, Ite };

class Node;
// Expressions are immutable DAG nodes shared by reference; the same node may
// be reached along several paths (a shared subformula).
using Expr = std::shared_ptr<const Node>;

// Base of every expression node. Each kind is its own final C++ type, so a
// polymorphic handle can be told apart by its dynamic type as well as by
// kind(). Nodes are built only through the constructors in build.hpp and
// Context::get_var. enable_shared_from_this lets a binding layer recover
// the owning handle from a plain reference instead of wrapping it anew.
class Node : public std::enable_shared_from_this<Node> {
public:
    Node(const Node&) = delete;
    Node& operator=(const Node&) = delete;
    // Releases the children with an explicit work list: a formula nested
    // 10^5 levels deep must not recurse once per level.
    virtual ~Node();

    Kind kind() const { return kind_; }
    // Children in construction order (empty for constants and variables).
    // Not: {operand}; Impl: {premise, conclusion}; Ite: {cond, then, else}.
    const std::vector<Expr>& args() const { return args_; }

    bool is_constant() const { return kind_ == Kind::Zero || kind_ == Kind::One; }
    // A variable or the negation of a variable.
    bool is_literal() const;

protected:
    Node(Kind kind, std::vector<Expr> args);

private:
    Kind kind_;
    std::vector<Expr> args_;
};

class Zero final : public Node {
public:
    Zero();
};

class One final : public Node {
public:
    One();
};

// A named Boolean variable, unique per name within its Context.
class Variable final : public Node {
public:
    Variable(std::string name, std::uint32_t id);
    const std::string& name() const { return name_; }
    // 1-based number of the variable inside the Context that created it.
    std::uint32_t id() const { return id_; }

private:
    std::string name_;
    std::uint32_t id_;
};

class Not final : public Node {
public:
    explicit Not(Expr operand);
    const Expr& operand() const { return args().front(); }
};

class And final : public Node {
public:
    explicit And(std::vector<Expr> args);
};

class Or final : public Node {
public:
    explicit Or(std::vector<Expr> args);
};

// n-ary parity: true when an odd number of the operands are true.
class Xor final : public Node {
public:
    explicit Xor(std::vector<Expr> args);
};

// n-ary equivalence: true when all operands have the same value.
class Eq final : public Node {
public:
    explicit Eq(std::vector<Expr> args);
};

class Impl final : public Node {
public:
    Impl(Expr premise, Expr conclusion);
};

class Ite final : public Node {
public:
    Ite(Expr cond, Expr then_branch, Expr else_branch);
};

}  // namespace corvane::dravo
