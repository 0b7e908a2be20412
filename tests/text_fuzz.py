"""Mutations of valid texts for the fuzz tests of the text parsers: a seeded
generator, so a failing input comes back with its seed and position.

Each input is a valid text changed a few times at random: a slice deleted,
repeated or moved, a token inserted or swapped in (from the language's own
tokens and from the characters a parser must refuse cleanly: NUL, non-ASCII,
huge numbers, deep nesting), the text cut short or spliced with another."""
import random

TOKENS = [
    "(", ")", "[", "]", "{", "}", ",", ".", ":", "+", "-", "*", "**", "~", "'", '"', " ", "0", "1", "2", "-1",
    "9223372036854775807", "9223372036854775808", "9" * 40, "i", "j", "k", "x", "y", "z", "_", "for", " for ",
    " in ", "range", "range(", "True", "False", "None", "\0", "\n", "\t", "\\", "é", "€", "😀", "\u200b", "#",
    "(" * 50, ")" * 50, "[" * 30,
]


def mutate(rng: random.Random, text: str, others, tokens=TOKENS) -> str:
    for _ in range(rng.randint(1, 3)):
        a, b = sorted(rng.randrange(len(text) + 1) for _ in range(2))
        operation = rng.randrange(7)
        if operation == 0:
            text = text[:a] + text[b:]
        elif operation == 1:
            text = text[:b] + text[a:b] + text[b:]
        elif operation == 2:
            text = text[:a] + rng.choice(tokens) + text[a:]
        elif operation == 3:
            text = text[:a] + rng.choice(tokens) + text[b:]
        elif operation == 4:
            text = text[:a]
        elif operation == 5:
            other = rng.choice(others)
            c = rng.randrange(len(other) + 1)
            text = text[:a] + other[c:]
        else:
            c = rng.randrange(len(text) + 1)
            text = text[:a] + text[c:] + text[a:c] if c > a else text[:c] + text[a:b] + text[c:a] + text[b:]
    return text


def inputs(seed: int, seeds, count: int, tokens=TOKENS):
    """`count` texts: each seed text once, then mutants of random seeds."""
    rng = random.Random(seed)
    seeds = list(seeds)
    yield from seeds[:count]
    for _ in range(count - len(seeds)):
        yield mutate(rng, rng.choice(seeds), seeds, tokens)
