"""Expression text evaluated through a cache of compiled shapes.

Compiling the text costs far more than running it, and the texts of a
model's constraints mostly differ only in their integers (x(3) | ~x(7) and
x(5) | ~x(1) have one shape). So each integer literal becomes a name bound
to its value, the shape is compiled once, and each text runs that code with
its own values: the same operations in the same order on the same values as
`eval` of the text. A text that the shape could read otherwise (quotes, an
integer with leading zeros, a name like the placeholders) or that does not
compile is evaluated as it is, so its errors are eval's own.
"""
import re
import typing as tp

_INTEGER = re.compile(r"(?<![\w.])[0-9]+(?![\w.])")
_PLACEHOLDER = "_tarvo_int_"
_SHAPES_KEPT = 512
# Longer shapes are compiled but not kept: they rarely repeat, and a few of
# them would hold much memory.
_LONGEST_KEPT = 100_000

_shapes: tp.Dict[str, tp.Any] = {}


def evaluate(text: str, namespace: dict):
    """eval(text, namespace), the compilation taken from the cache when the
    text's shape was compiled before."""
    integers = _INTEGER.findall(text)
    if not integers or "'" in text or '"' in text or _PLACEHOLDER in text or any(
            len(digits) > 1 and digits[0] == "0" for digits in integers):
        return eval(text, namespace)
    pieces = _INTEGER.split(text)
    names = [_PLACEHOLDER + str(k) for k in range(len(integers))]
    shape = pieces[0] + "".join(name + piece for name, piece in zip(names, pieces[1:]))
    code = _shapes.get(shape)
    if code is None:
        try:
            code = compile(shape, "<string>", "eval")
        except (SyntaxError, ValueError, RecursionError, MemoryError):
            return eval(text, namespace)
        if len(shape) <= _LONGEST_KEPT:
            if len(_shapes) >= _SHAPES_KEPT:
                _shapes.clear()
            _shapes[shape] = code
    if any(key.startswith(_PLACEHOLDER) for key in namespace):
        return eval(text, namespace)
    namespace.update(zip(names, map(int, integers)))
    return eval(code, namespace)
