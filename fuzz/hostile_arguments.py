#!/usr/bin/env python3
"""Calls every public function, constructor, method and property of the
`ephemeris` module with random hostile arguments for a given time.

    python fuzz/hostile_arguments.py --seconds 60 [--seed S] [--fifo] [--replay N]

Every call must return a value of the right type or raise one of the errors
the module raises for bad input: TypeError, ValueError (UnicodeEncodeError
included), OverflowError; RuntimeError for an access conflict (a hostile
callback re-entering the engine); the BaseException-derived thread error for
an engine of another thread. A `Planted` error raised by the driver's own
hostile objects must come back unchanged, and a MemoryError only when an
argument claims an absurd length (the interpreter's own list() raises it).
Anything else is a finding, and so is a crash, a call running longer than
`--stall-seconds`, or growth of the process beyond the baseline taken after a
warm-up: open descriptors and those of the kernel files must come back to
it exactly, no kernel file may ever be mapped, the anonymous resident memory (RssAnon) within `--memory-slack-mib`.

Arguments: random types, NaN and infinities, huge integers, lone surrogates
and NULs in names and paths, str/bytes/float/int/list/tuple subclasses,
memoryviews, objects whose __float__, __index__, __bool__, `name`, __len__,
__getitem__ or __iter__ raise, lie, mutate their sequence or call back into
the engine, NumPy arrays of every dtype and shape (0-d, empty, Fortran order,
non-contiguous, reversed, read-only, zero and huge strides), paths to
directories, /dev/zero, /dev/null, /proc files, symlink loops, huge sparse
files and mutated copies of the seed kernels in fuzz/corpus/spk_kernel.

FIFOs are left out of the kernel paths unless `--fifo` is given: opening a
FIFO as a kernel blocks in open(2) until a writer appears (a known fault),
which this driver would report as a hang. The leap-second and C04 readers
open without blocking and get FIFOs in every run.

The choices of call N depend only on the seed and N, so `--replay N` repeats
call N alone after the same setup and prints what it did (the scratch engine
is then fresh, so a call that depended on earlier calls may behave otherwise).
Prints the calls made by outcome; exits 1 on a finding. Needs the module and
the test requirements (DE421, the C04 table); writes only into a temporary
directory that it deletes.
"""

import array
import collections
import collections.abc
import copy
import decimal
import enum
import fractions
import gc
import math
import os
import pathlib
import pickle
import random
import sys
import threading
import time
import warnings
import weakref

import numpy as np

import driver_support as support

import ephemeris
from ephemeris import Engine, GeodeticObserver, Instant, PositionOptions

THREAD_ERROR = "ThreadBindingError"
MAX_FINDINGS = 20
MUTANTS = 12
MUTANT_GENERATION_CALLS = 500


class Planted(Exception):
    """Raised by the driver's hostile objects; must reach the caller unchanged."""


class Hostile:
    recipe = "Hostile()"

    def __repr__(self):
        return self.recipe


def describe(value, depth=0) -> str:
    """A short text for the progress file and the findings; never runs hostile code."""
    if isinstance(value, Hostile):
        return value.recipe
    kind = type(value)
    if kind.__module__ == "ephemeris":
        for role in ("main", "foreign", "closed", "scratch"):
            if value is getattr(STATE, role):
                return f"<{role} engine>"
        return f"<{kind.__name__}>"
    if isinstance(value, (str, bytes, int, float)) and kind not in (str, bytes, int, float, bool):
        base = next(b for b in (str, bytes, int, float) if isinstance(value, b))
        return f"{kind.__name__}({base.__repr__(value)[:60]})"
    if isinstance(value, np.ndarray):
        flags = "".join(letter for letter, on in (("C", value.flags.c_contiguous), ("F", value.flags.f_contiguous),
                                                  ("W", value.flags.writeable)) if on)
        return f"ndarray({value.dtype}, shape={value.shape}, strides={value.strides}, {flags or '-'})"
    if kind in (str, bytes, bytearray, int, float, complex, bool, type(None), range):
        text = repr(value)
        return text if len(text) <= 80 else f"{text[:60]}...<{len(value) if hasattr(value, '__len__') else ''}>"
    if kind in (list, tuple) and depth < 2:
        inner = ", ".join(describe(item, depth + 1) for item in value[:6])
        more = f", ...{len(value)}" if len(value) > 6 else ""
        return f"[{inner}{more}]" if kind is list else f"({inner}{more})"
    if kind is dict and depth < 2:
        return "{" + ", ".join(f"{describe(k, 2)}: {describe(v, depth + 1)}" for k, v in list(value.items())[:6]) + "}"
    return f"<{kind.__module__}.{kind.__qualname__}>"


# ---------------------------------------------------------------- hostile objects

class FloatRaises(Hostile):
    recipe = "FloatRaises()"

    def __float__(self):
        raise Planted("__float__")


class IndexRaises(Hostile):
    recipe = "IndexRaises()"

    def __index__(self):
        raise Planted("__index__")


class Returns(Hostile):
    """__float__, __index__, __int__ or __bool__ returning a given (often wrong) value."""

    def __init__(self, method, value):
        self.method, self.value = method, value
        self.recipe = f"Returns({method}={describe(value)})"

    def __float__(self):
        if self.method != "__float__":
            raise TypeError("no __float__")
        return self.value

    def __index__(self):
        if self.method != "__index__":
            raise TypeError("no __index__")
        return self.value

    def __bool__(self):
        if self.method != "__bool__":
            return True
        return self.value


class BoolRaises(Hostile):
    recipe = "BoolRaises()"

    def __bool__(self):
        raise Planted("__bool__")


class Callback(Hostile):
    """A number or a name whose conversion first runs `action` (re-entering the
    engine, dropping references, collecting garbage)."""

    def __init__(self, action, value):
        self.action, self.value = action, value
        self.recipe = f"Callback({action.__name__}, {describe(value)})"

    def __float__(self):
        self.action()
        return float(self.value)

    def __index__(self):
        self.action()
        return int(self.value)

    @property
    def name(self):
        self.action()
        return self.value


class Named(Hostile):
    def __init__(self, name):
        self.name = name
        self.recipe = f"Named({describe(name)})"


class NameRaises(Hostile):
    recipe = "NameRaises()"

    @property
    def name(self):
        raise Planted("name")


class NameEnum(enum.Enum):
    full_moon = 1
    March_Equinox = 2
    LAHIRI = 3
    placidus = 4
    rise = 5
    bogus = 6


class HostileStr(str):
    """A str subclass whose Python-level methods all misbehave; the C API sees
    only its characters."""

    def __eq__(self, other):
        raise Planted("__eq__")

    def __hash__(self):
        raise Planted("__hash__")

    def __len__(self):
        return 10 ** 6

    def __str__(self):
        raise Planted("__str__")

    def __repr__(self):
        raise Planted("__repr__")

    def encode(self, *args, **kwargs):
        raise Planted("encode")


class PlainStr(str):
    """A str subclass that changes nothing."""


class HostileFloat(float):
    def __float__(self):
        raise Planted("__float__")

    def __repr__(self):
        raise Planted("__repr__")


class HostileInt(int):
    def __index__(self):
        raise Planted("__index__")

    def __float__(self):
        raise Planted("__float__")


class HostileBytes(bytes):
    def __len__(self):
        return -1


class LyingSequence(Hostile):
    """A sequence whose __len__, __getitem__ or __iter__ lies, raises or
    mutates the items while they are read."""

    MODES = ("short", "long", "len_raises", "len_negative", "len_huge", "len_str", "getitem_raises",
             "append_while_read", "clear_while_read", "iter_raises", "iter_mutates", "index_type")

    def __init__(self, items, mode, rng):
        self.items, self.mode = list(items), mode
        self.claimed = {"short": len(self.items) + rng.randint(1, 50), "long": max(0, len(self.items) - 1)}.get(
            mode, len(self.items))
        self.at = rng.randint(0, max(0, len(self.items)))
        self.recipe = f"LyingSequence({mode}, {describe(self.items)})"

    def __len__(self):
        if self.mode == "len_raises":
            raise Planted("__len__")
        if self.mode == "len_negative":
            return -1
        if self.mode == "len_huge":
            return sys.maxsize
        if self.mode == "len_str":
            return "3"
        return self.claimed

    def __getitem__(self, index):
        if self.mode == "index_type" and not isinstance(index, slice):
            index = str(index)
        if self.mode == "getitem_raises" and index == self.at:
            raise Planted("__getitem__")
        if self.mode == "append_while_read" and len(self.items) < 64 and self.items:
            self.items.append(self.items[0])
        if self.mode == "clear_while_read" and index == self.at:
            self.items.clear()
        return self.items[index]

    def __iter__(self):
        if self.mode == "iter_raises":
            raise Planted("__iter__")
        if self.mode == "iter_mutates":
            for index in range(len(self.items)):
                yield self.items[index] if index < len(self.items) else None
                if self.items:
                    self.items.pop()
            return
        index = 0
        while True:
            try:
                item = self[index]
            except IndexError:
                return
            yield item
            index += 1


class IterableOnly(Hostile):
    """Registered as a collections.abc.Sequence but with no __getitem__, so
    only the registration makes it a sequence."""

    def __init__(self, items, raise_at=None):
        self.items, self.raise_at = list(items), raise_at
        self.recipe = f"IterableOnly({describe(self.items)}, raise_at={raise_at})"

    def __len__(self):
        return len(self.items)

    def __iter__(self):
        for index, item in enumerate(self.items):
            if index == self.raise_at:
                raise Planted("__iter__")
            yield item


collections.abc.Sequence.register(IterableOnly)


class SubclassedList(list):
    """A list subclass whose __iter__ lies about its items."""

    def __iter__(self):
        yield from reversed(list.__iter__(self))
        yield "pluto"


class SubclassedTuple(tuple):
    def __len__(self):
        raise Planted("__len__")

    def __iter__(self):
        raise Planted("__iter__")


def has_absurd_length(value, depth=0) -> bool:
    if isinstance(value, LyingSequence):
        return value.mode == "len_huge"
    if isinstance(value, (list, tuple)) and depth < 2:
        return any(has_absurd_length(item, depth + 1) for item in value)
    if isinstance(value, dict):
        return any(has_absurd_length(item, depth + 1) for item in value.values())
    return False


# ---------------------------------------------------------------- state

class State:
    def __init__(self):
        self.main = self.foreign = self.closed = self.scratch = None
        self.target = None  # the engine of the call running now, for callbacks
        self.pool = collections.deque(maxlen=48)  # module objects returned by calls
        self.thread_error_expected = False
        self.files = {}


STATE = State()


def callback_actions():
    def reenter_shared():
        if STATE.target is STATE.foreign:
            STATE.thread_error_expected = True
        STATE.target.position("sun", Instant(2451545.0), ephemeris.geometric())

    def reenter_exclusive():
        if STATE.target is STATE.foreign:
            STATE.thread_error_expected = True
        STATE.target.with_leap_second_kernel(STATE.files["lsk"], support.CHECKSUM)

    def reenter_exclusive_caught():
        try:
            reenter_exclusive()
        except (RuntimeError, ValueError):
            pass
        except BaseException as error:  # the thread error
            if type(error).__name__ != THREAD_ERROR:
                raise

    def drop_scratch():
        STATE.scratch = None

    def collect():
        gc.collect()

    def planted():
        raise Planted("callback")

    return [reenter_shared, reenter_exclusive, reenter_exclusive_caught, drop_scratch, collect, planted]


CALLBACKS = callback_actions()


# ---------------------------------------------------------------- files

def make_files(directory: pathlib.Path, fifo: bool):
    files = STATE.files
    files["de421"] = support.de421_path()
    files["lsk"] = support.write_leap_second_kernel(directory)
    files["eop"] = support.eop_path()
    files["bulletin_a"] = support.bulletin_a_path()
    files["eop_short"] = support.write_short_eop_table(directory)
    files["corpus"] = sorted(str(p) for p in support.CORPUS.glob("*.bsp"))
    if not files["corpus"]:
        raise SystemExit(f"no seed kernels in {support.CORPUS}: run fuzz/make_spk_corpus.py")
    rng = random.Random(0)

    def write(name, data):
        path = directory / name
        path.write_bytes(data)
        return str(path)

    seed_kernel = (support.CORPUS / "little_endian_chain.bsp").read_bytes()
    broken = bytearray(seed_kernel)
    broken[1024:1032] = np.array([999.0], dtype="<f8").tobytes()  # NEXT: a summary record past the end
    sparse = directory / "sparse_huge.bsp"
    with open(sparse, "wb") as handle:
        handle.truncate(1 << 40)
    sparse_head = directory / "sparse_valid_kernel.bsp"  # a valid kernel followed by a 64 GiB hole
    with open(sparse_head, "wb") as handle:
        handle.write(seed_kernel)
        handle.truncate(1 << 36)
    (directory / "subdirectory").mkdir()
    os.symlink(directory / "loop_b", directory / "loop_a")
    os.symlink(directory / "loop_a", directory / "loop_b")
    os.symlink(files["de421"], directory / "link_to_de421.bsp")
    non_utf8 = os.fsencode(str(directory)) + b"/\xff\xfe.bsp"
    with open(non_utf8, "wb") as handle:
        handle.write(seed_kernel)
    accented = write("\u00e9ph\u00e9m\u00e9ride.bsp", seed_kernel)
    plain = write("plain.bsp", seed_kernel)
    paths = [
        "", ".", "/", "..", "data/..", "/nonexistent/kernel.bsp", str(directory), str(directory / "subdirectory"),
        str(directory / "subdirectory") + "/", "/dev/zero", "/dev/null", "/dev/urandom", "/proc/self/status",
        "/proc/self/maps", str(sparse), str(sparse_head), write("empty.bsp", b""), write("one_byte.bsp", b"D"),
        write("random_1023.bsp", rng.randbytes(1023)), write("zeros_1024.bsp", bytes(1024)),
        write("random_8k.bsp", rng.randbytes(8192)), write("header_only.bsp", seed_kernel[:1024]),
        write("broken_chain.bsp", bytes(broken)), str(directory / "loop_a"), str(directory / "link_to_de421.bsp"),
        os.fsdecode(non_utf8), accented, plain + "/", plain + "/child", plain + "\0", "a/" * 2500 + "x.bsp",
        "x" * 300 + ".bsp", "\ud800.bsp", str(directory) + "/\udcff.bsp", files["lsk"], files["eop_short"],
        "~/" + "de421.bsp", "file:///dev/zero",
    ]
    fifo_path = directory / "fifo"
    os.mkfifo(fifo_path)
    files["text_paths"] = paths + [str(fifo_path)]  # the text readers never block on a FIFO
    files["kernel_paths"] = paths + ([str(fifo_path)] if fifo else [])
    files["broken_chain"] = str(directory / "broken_chain.bsp")
    files["mutants"], files["text_mutants"] = [], []
    files["generation"] = -1


def interesting_double(rng):
    return rng.choice([0.0, -0.0, 1.0, -1.0, 2.0, 5.0, 1024.0, 4294967295.0, 4294967296.0, 1e308, 5e-324,
                       math.nan, math.inf, -math.inf, 2.0 ** 31, -2.0 ** 31, rng.uniform(-1e9, 1e9)])


def mutate(data: bytes, rng, kernel: bool) -> bytes:
    image = bytearray(data)
    for _ in range(rng.randint(1, 8)):
        choice = rng.random()
        if choice < 0.35 and image:
            at = rng.randrange(len(image))
            image[at] = rng.randrange(256)
        elif choice < 0.6 and kernel and len(image) >= 8:
            at = rng.randrange(len(image) // 8) * 8
            order = "<" if b"LTL" in image[88:96] else ">"
            image[at:at + 8] = np.array([interesting_double(rng)], dtype=order + "f8").tobytes()
        elif choice < 0.7 and kernel and len(image) >= 1028:
            at = rng.choice([8, 12, 76, 80, 84]) if rng.random() < 0.5 else rng.randrange(1024, len(image) - 3)
            value = rng.choice([0, 1, 2, 3, 6, 127, 128, 129, 0x7FFFFFFF, 0xFFFFFFFF, rng.randrange(1 << 32)])
            image[at:at + 4] = value.to_bytes(4, "little" if b"LTL" in image[88:96] else "big")
        elif choice < 0.8:
            del image[rng.randrange(len(image) + 1):]
        elif choice < 0.9 and image:
            at = rng.randrange(len(image))
            image[at:at] = rng.randbytes(rng.randint(1, 64))
        elif image:
            start = rng.randrange(len(image))
            image[start:start + 16] = image[start:start + 16][::-1]
    return bytes(image)


def refresh_mutants(directory: pathlib.Path, seed: int, call: int):
    """New mutated copies of the seed kernels and of the text tables every
    MUTANT_GENERATION_CALLS calls, under new names (the old files are
    unlinked, never rewritten, so an engine still reading one is unaffected)."""
    generation = call // MUTANT_GENERATION_CALLS
    files = STATE.files
    if generation == files["generation"]:
        return
    for old in files["mutants"] + files["text_mutants"]:
        try:
            os.unlink(old)
        except OSError:
            pass
    rng = random.Random(f"{seed}/files/{generation}")
    files["generation"] = generation
    files["mutants"], files["text_mutants"] = [], []
    for index in range(MUTANTS):
        source = pathlib.Path(rng.choice(files["corpus"])).read_bytes()
        path = directory / f"mutant_{generation}_{index}.bsp"
        path.write_bytes(mutate(source, rng, kernel=True))
        files["mutants"].append(str(path))
    lsk = pathlib.Path(files["lsk"]).read_bytes()
    eop = pathlib.Path(files["eop_short"]).read_bytes()[:20000]
    for index in range(4):
        for name, source in (("tls", lsk), ("eop", eop)):
            path = directory / f"mutant_{generation}_{index}.{name}"
            path.write_bytes(mutate(source, rng, kernel=False))
            files["text_mutants"].append(str(path))


# ---------------------------------------------------------------- values

BODY_NAMES = ["sun", "moon", "mercury", "venus", "earth", "mars", "jupiter", "saturn", "uranus", "neptune", "pluto"]
NAMES = {
    "origin": ["barycentric", "heliocentric", "geocentric", "topocentric"],
    "coordinate_system": ["equatorial", "ecliptic"],
    "reference_epoch": ["j2000", "of_date", "of-date", "ofdate"],
    "time_scale": ["utc", "ut1", "tt", "tdb"],
    "house": ["placidus", "campanus", "equal", "whole_sign", "whole-sign", "wholesign"],
    "sidereal": ["lahiri", "fagan_bradley", "fagan-bradley", "faganbradley"],
    "season": ["march_equinox", "june_solstice", "september_equinox", "december_solstice", "vernal_equinox",
               "autumnal_equinox", "june-solstice"],
    "lunation": ["new_moon", "full_moon", "new-moon", "fullmoon"],
    "horizon": ["rise", "set", "transit"],
    "body": BODY_NAMES,
}
ENUM_OBJECTS = {
    "house": lambda: [ephemeris.HouseSystem.placidus(), ephemeris.HouseSystem.campanus(),
                      ephemeris.HouseSystem.equal(), ephemeris.HouseSystem.whole_sign()],
    "sidereal": lambda: [ephemeris.SiderealMode.lahiri(), ephemeris.SiderealMode.fagan_bradley()],
    "season": lambda: [ephemeris.SeasonEvent.march_equinox(), ephemeris.SeasonEvent.december_solstice()],
    "lunation": lambda: [ephemeris.LunationEvent.new_moon(), ephemeris.LunationEvent.full_moon()],
    "horizon": lambda: [ephemeris.HorizonEventKind.rise(), ephemeris.HorizonEventKind.transit()],
}
HOSTILE_TEXTS = ["", " ", "\0", "sun\0", "\ud800", "sun\udcff", "\udfff\ud800", "\u00e9", "\u200b", "sun\u0301",
                 "\U0001f600", "\u202esun", "SUN" * 10000, "a" * 100000, "\uff53\uff55\uff4e", "s\u0000un", "NaN",
                 "-inf", "1e999", "\t\n\r", "\\", "\"", "\x7f", "\x85"]


def vary(text, rng):
    """Case and blank variants that the parsers may accept."""
    choice = rng.random()
    if choice < 0.5:
        return text
    if choice < 0.65:
        return text.upper()
    if choice < 0.8:
        return f"  {text.title()}\t"
    if choice < 0.9:
        return text.replace("_", "-")
    return text + rng.choice(["x", "_", " x", "\0", "\udcff"])


def julian_day(rng):
    choice = rng.random()
    if choice < 0.6:
        return 2451545.0 + rng.uniform(-40000.0, 40000.0)
    if choice < 0.75:
        return 2451545.0 + rng.uniform(-20.0, 20.0)
    return rng.choice([0.0, -0.0, 2414992.5, 2471184.5, 2414992.4999999995, 2471184.5000000005, 1e300, -1e300,
                       5e-324, 2451545.0, math.nan, math.inf, -math.inf, 2451545, 2 ** 53 + 1, 1e16])


def make_instant(rng):
    scale = rng.choice(NAMES["time_scale"])
    try:
        maker = rng.random()
        if maker < 0.6:
            return Instant(julian_day(rng), scale)
        return getattr(Instant, scale)(julian_day(rng))
    except (ValueError, OverflowError, TypeError):
        return Instant(2451545.0)


def make_observer(rng):
    try:
        return GeodeticObserver(rng.uniform(-400.0, 400.0), rng.choice([rng.uniform(-90.0, 90.0), 90.0, -90.0, 0.0]),
                                rng.choice([0.0, rng.uniform(-1e4, 1e5), 1e7]))
    except (ValueError, OverflowError):
        return GeodeticObserver(0.0, 51.5)


def make_options(rng):
    origin = rng.choice(NAMES["origin"])
    observer = make_observer(rng) if origin == "topocentric" or rng.random() < 0.05 else None
    try:
        if rng.random() < 0.4:
            return rng.choice([ephemeris.geometric, ephemeris.apparent])(
                origin, rng.choice(NAMES["coordinate_system"]), observer)
        flags = [rng.random() < 0.5 for _ in range(7)]
        return PositionOptions(origin, rng.choice(NAMES["coordinate_system"]), rng.choice(NAMES["reference_epoch"]),
                               *flags, observer)
    except ValueError:
        return ephemeris.geometric()


def random_array(rng, elements=None):
    """A NumPy array of a random dtype, shape and layout; `elements` (a list of
    valid items) fills an object or text array."""
    shape = rng.choice([(), (0,), (1,), (3,), (0, 3), (3, 0), (2, 3), (1, 1), (2, 1, 4), (7,)])
    size = int(np.prod(shape)) if shape else 1
    dtype = rng.choice(["bool", "int8", "uint8", "int16", "int32", "int64", "uint64", "float16", "float32",
                        "float64", "longdouble", "complex64", "complex128", ">f8", "<f8", ">i4", "U12", "S12",
                        "object", "datetime64[s]", "timedelta64[s]", "V8", "structured"])
    if elements is not None and rng.random() < 0.7:
        dtype = rng.choice(["object", "U12"])
    if dtype == "structured":
        array_ = np.zeros(shape, dtype=[("a", "f8"), ("b", "i4")])
    elif dtype == "object":
        pool = elements or [None, 1.0, "sun"]
        array_ = np.empty(shape, dtype=object)
        flat = array_.reshape(-1)
        for index in range(flat.size):
            flat[index] = None
            flat[index:index + 1] = np.array([rng.choice(pool), None], dtype=object)[:1]
    elif dtype.startswith(("U", "S")):
        pool = [e if type(e) is str else "sun" for e in (elements or BODY_NAMES)]
        if dtype.startswith("S"):
            pool = [text.encode("ascii", "replace") for text in pool]
        array_ = np.array([rng.choice(pool) for _ in range(size)], dtype=dtype).reshape(shape)
    elif dtype == "V8":
        array_ = np.zeros(shape, dtype="V8")
    else:
        values = np.array([interesting_double(rng) for _ in range(size)]) if size else np.zeros(0)
        with np.errstate(all="ignore"), warnings.catch_warnings():
            warnings.simplefilter("ignore")
            integral = dtype.startswith(("int", "uint", ">i", "bool", "date", "time"))
            array_ = (np.nan_to_num(values) if integral else values).astype(dtype).reshape(shape)
    layout = rng.random()
    if layout < 0.15 and array_.ndim >= 2:
        array_ = np.asfortranarray(array_)
    elif layout < 0.3 and array_.ndim >= 1:
        array_ = np.repeat(array_, 2, axis=0)[::2]  # non-contiguous
    elif layout < 0.4 and array_.ndim >= 1:
        array_ = array_[::-1]
    elif layout < 0.5:
        array_.flags.writeable = False
    elif layout < 0.6 and array_.ndim == 1 and array_.size:
        array_ = np.broadcast_to(array_[:1], (rng.choice([2, 1000, 50000]),))  # zero stride
    elif layout < 0.65 and array_.ndim == 1 and array_.dtype != object:
        big = np.zeros(100_000 * max(1, array_.size), dtype=array_.dtype)
        array_ = big[::100_000]  # huge stride
    if rng.random() < 0.05:
        array_ = np.ma.masked_array(array_)
    return array_


def module_object(rng):
    choice = rng.random()
    if choice < 0.3:
        return rng.choice([STATE.main, STATE.foreign, STATE.closed])
    if STATE.pool and choice < 0.8:
        return rng.choice(STATE.pool)
    return rng.choice([make_instant(rng), make_observer(rng), make_options(rng), ephemeris, Engine, Instant])


def generic_hostile(rng):
    """Anything at all."""
    makers = [
        lambda: None, lambda: True, lambda: False, lambda: 0, lambda: -1, lambda: 2 ** 31, lambda: 2 ** 63,
        lambda: -2 ** 63 - 1, lambda: 2 ** 64, lambda: 10 ** 400, lambda: -10 ** 400, lambda: math.nan,
        lambda: math.inf, lambda: -math.inf, lambda: -0.0, lambda: 5e-324, lambda: 1.7976931348623157e308,
        lambda: complex(1, 2), lambda: rng.choice(HOSTILE_TEXTS), lambda: b"sun", lambda: bytearray(b"moon"),
        lambda: memoryview(b"mars"), lambda: memoryview(np.arange(6.0).reshape(2, 3)), lambda: [], lambda: (),
        lambda: {}, lambda: {"sun": 1}, lambda: set(), lambda: frozenset(["sun"]), lambda: range(3),
        lambda: object(), lambda: type, lambda: ephemeris, lambda: Ellipsis, lambda: NotImplemented,
        lambda: print, lambda: (x for x in ["sun"]), lambda: iter(["sun"]), lambda: decimal.Decimal("sNaN"),
        lambda: decimal.Decimal("1e999999"), lambda: fractions.Fraction(1, 3), lambda: array.array("d", [1.0]),
        lambda: random_array(rng), lambda: random_array(rng), lambda: module_object(rng), lambda: module_object(rng),
        lambda: FloatRaises(), lambda: IndexRaises(), lambda: BoolRaises(), lambda: NameRaises(),
        lambda: Returns(rng.choice(["__float__", "__index__", "__bool__"]),
                        rng.choice(["x", 1, 2 ** 100, -1, True, None, HostileFloat(1.0), 1.5])),
        lambda: Callback(rng.choice(CALLBACKS), rng.choice([2451545.0, "sun", "full_moon", 0.0])),
        lambda: HostileStr(rng.choice(BODY_NAMES + ["x"])), lambda: HostileFloat(rng.choice([2451545.0, math.nan])),
        lambda: HostileInt(2451545), lambda: HostileBytes(b"sun"), lambda: NameEnum(rng.randint(1, 6)),
        lambda: LyingSequence(["sun"] * rng.randint(0, 3), rng.choice(LyingSequence.MODES), rng),
        lambda: weakref.ref(Engine), lambda: np.float64(math.nan), lambda: np.int64(-1), lambda: np.uint64(2 ** 64 - 1),
        lambda: np.longdouble("1e4000"), lambda: np.str_("sun"), lambda: np.bytes_(b"sun"), lambda: np.bool_(True),
    ]
    return rng.choice(makers)()


def sequence_of(items, rng, element_maker):
    """A container of `items` in a random form: list, tuple, array, subclass, lying sequence."""
    if rng.random() < 0.15 and items:
        items = list(items)
        items[rng.randrange(len(items))] = element_maker()
    forms = [list, list, tuple, lambda v: random_array(rng, v), lambda v: SubclassedList(v),
             lambda v: SubclassedTuple(v), lambda v: LyingSequence(v, rng.choice(LyingSequence.MODES), rng),
             lambda v: IterableOnly(v, rng.choice([None, 0, len(v)])), collections.deque,
             lambda v: (x for x in v), lambda v: dict.fromkeys(range(len(v))), lambda v: frozenset(range(len(v)))]
    return rng.choice(forms)(list(items))


def valid(kind, rng):
    files = STATE.files
    if kind.startswith("opt_"):
        return None if rng.random() < 0.5 else valid(kind[4:], rng)
    if kind == "spk_path":
        return rng.choice([files["de421"]] * 3 + files["corpus"] + files["mutants"] * 2)
    if kind == "extra_spk_path":
        return rng.choice(files["corpus"] + files["mutants"] * 2 + [files["broken_chain"]])
    if kind == "lsk_path":
        return rng.choice([files["lsk"]] * 3 + files["text_mutants"])
    if kind == "eop_path":
        return rng.choice([files["eop_short"]] * 4 + [files["eop"], files["bulletin_a"]] + files["text_mutants"])
    if kind in ("sha", "opt_sha"):
        return rng.choice([support.CHECKSUM, "AB" * 32, "0123456789abcdefABCDEF" * 2 + "0" * 20])
    if kind == "body":
        return vary(rng.choice(BODY_NAMES), rng)
    if kind.startswith("name:"):
        group = kind[5:]
        choice = rng.random()
        if choice < 0.5:
            return vary(rng.choice(NAMES[group]), rng)
        if choice < 0.75 and group in ENUM_OBJECTS:
            return rng.choice(ENUM_OBJECTS[group]())
        if choice < 0.9:
            return Named(vary(rng.choice(NAMES[group]), rng))
        return NameEnum(rng.randint(1, 6))
    if kind.startswith("text:"):
        return vary(rng.choice(NAMES[kind[5:]]), rng)
    if kind == "instant":
        return make_instant(rng)
    if kind == "observer":
        return make_observer(rng)
    if kind == "options":
        return make_options(rng)
    if kind == "julian_day":
        return julian_day(rng)
    if kind == "jd_or_instant":
        return make_instant(rng) if rng.random() < 0.5 else julian_day(rng)
    if kind == "degrees":
        return rng.choice([rng.uniform(-180.0, 180.0), rng.uniform(-1.0, 1.0), -50 / 60, -34 / 60, 90.0, -90.0])
    if kind == "metres":
        return rng.choice([0.0, rng.uniform(-500.0, 9000.0), 1e7, -7e6])
    if kind == "bool":
        return rng.random() < 0.5
    if kind == "bodies":
        return sequence_of([valid("body", rng) for _ in range(rng.choice([0, 1, 2, 5, 11, 30]))], rng,
                           lambda: generic_hostile(rng))
    if kind == "instants":
        return sequence_of([make_instant(rng) for _ in range(rng.choice([0, 1, 2, 7, 40]))], rng,
                           lambda: generic_hostile(rng))
    if kind == "julian_days":
        days = [julian_day(rng) for _ in range(rng.choice([0, 1, 2, 7, 40]))]
        return np.array(days) if rng.random() < 0.5 else sequence_of(days, rng, lambda: generic_hostile(rng))
    if kind == "celsius":
        return rng.choice([10.0, rng.uniform(-100.0, 60.0), -100.0, 60.0])
    if kind == "millibars":
        return rng.choice([1010.0, rng.uniform(0.0, 1200.0), 0.0, 1200.0])
    raise AssertionError(kind)


def specific_hostile(kind, rng):
    """A wrong value chosen for the parameter's kind."""
    files = STATE.files
    if kind.startswith("opt_"):
        kind = kind[4:]
    if kind.endswith("_path"):
        pool = files["text_paths"] if kind in ("lsk_path", "eop_path") else files["kernel_paths"]
        pool = pool + [files["de421"], files["lsk"], files["eop"]] + files["text_mutants"]
        path = rng.choice(pool)
        choice = rng.random()
        if choice < 0.1:
            return HostileStr(path)
        if choice < 0.15:
            return pathlib.Path(path.replace("\0", "").replace("\ud800", "").replace("\udcff", ""))
        if choice < 0.2:
            return os.fsencode(path) if "\ud800" not in path and "\udcff" not in path else path
        return path
    if kind == "sha":
        return rng.choice(["", "ab" * 31 + "a", "ab" * 32 + "a", "g" * 64, "\u0663" * 64, "\uff10" * 64,
                           "ab" * 31 + "\ud800\udc00", " " + "ab" * 32, "ab" * 32 + "\0", HostileStr("ab" * 32),
                           b"ab" * 32, 0xAB, None])
    if kind == "julian_days" and rng.random() < 0.6:
        return random_array(rng)
    if kind in ("julian_day", "degrees", "metres", "jd_or_instant", "julian_days", "celsius", "millibars"):
        return rng.choice([math.nan, math.inf, -math.inf, 10 ** 400, -10 ** 309, 2 ** 1024, True, "2451545",
                           decimal.Decimal("NaN"), decimal.Decimal("sNaN"), fractions.Fraction(10 ** 400, 3),
                           np.float32(math.nan), np.longdouble("1e400"), np.array(2451545.0),
                           np.array([2451545.0]), np.array([[1.0]]), np.array([]), HostileFloat(2451545.0),
                           HostileInt(5), FloatRaises(), IndexRaises(), Returns("__float__", "x"),
                           Returns("__index__", 2 ** 200), Returns("__float__", HostileFloat(1.0)),
                           Callback(rng.choice(CALLBACKS), 2451545.0), complex(2451545.0, 0)])
    if kind in ("body",) or kind.startswith(("name:", "text:")):
        choice = rng.random()
        if choice < 0.4:
            return rng.choice(HOSTILE_TEXTS)
        if choice < 0.55:
            return HostileStr(valid(kind, rng) if kind == "body" else rng.choice(
                NAMES.get(kind.split(":")[-1], BODY_NAMES)))
        if choice < 0.7:
            return Named(rng.choice([None, 5, b"rise", HostileStr("rise"), NameRaises(), "\ud800", Named("rise")]))
        if choice < 0.8:
            return Callback(rng.choice(CALLBACKS), rng.choice(NAMES.get(kind.split(":")[-1], BODY_NAMES)))
        if choice < 0.9:
            return rng.choice([NameRaises(), NameEnum(6), b"sun", np.str_("moon"), np.array("sun"),
                               np.array(["sun"])])
        return module_object(rng)
    if kind == "bool":
        return rng.choice([0, 1, 2, -1, None, "", "false", np.bool_(True), np.array([True, False]), math.nan,
                           BoolRaises(), Returns("__bool__", 2), [], [0], HostileInt(0)])
    if kind in ("bodies", "instants"):
        element = (lambda: rng.choice([HostileStr("sun"), b"sun", None, np.str_("sun"), "\ud800"])) \
            if kind == "bodies" else (lambda: rng.choice([2451545.0, None, module_object(rng)]))
        single = {"bodies": "body", "instants": "instant"}[kind]
        return sequence_of([valid(single, rng) for _ in range(rng.choice([0, 1, 3, 500]))], rng, element)
    return module_object(rng)


def argument(kind, rng):
    choice = rng.random()
    if choice < 0.72:
        return valid(kind, rng)
    if choice < 0.9:
        return specific_hostile(kind, rng)
    return generic_hostile(rng)


# ---------------------------------------------------------------- operations

ENGINE_PARAMETERS = [("path", "spk_path"), ("sha256", "sha"), ("leap_second_kernel", "opt_lsk_path"),
                     ("leap_second_sha256", "opt_sha"), ("eop", "opt_eop_path"), ("eop_sha256", "opt_sha")]
OPTION_PARAMETERS = [("origin", "text:origin"), ("coordinate_system", "text:coordinate_system"),
                     ("reference_epoch", "text:reference_epoch"), ("apparent", "bool"), ("true_ecliptic", "bool"),
                     ("light_time", "bool"), ("aberration", "bool"), ("gravitational_deflection", "bool"),
                     ("precession", "bool"), ("nutation", "bool"), ("observer", "opt_observer")]
NAME_CLASSES = {ephemeris.HouseSystem: "house", ephemeris.HorizonEventKind: "horizon", ephemeris.SeasonEvent: "season",
                ephemeris.LunationEvent: "lunation", ephemeris.SiderealMode: "sidereal"}

# (name, callable or engine method name, parameters, required count, weight, result type)
FUNCTIONS = [
    ("open", ephemeris.open, ENGINE_PARAMETERS, 2, 3, Engine),
    ("Engine", Engine, ENGINE_PARAMETERS, 2, 3, Engine),
    ("geometric", ephemeris.geometric, [("origin", "text:origin"), ("coordinate_system", "text:coordinate_system"),
                                        ("observer", "opt_observer")], 0, 2, PositionOptions),
    ("apparent", ephemeris.apparent, [("origin", "text:origin"), ("coordinate_system", "text:coordinate_system"),
                                      ("observer", "opt_observer")], 0, 2, PositionOptions),
    ("house_cusps", ephemeris.house_cusps, [("observer", "observer"), ("ut1", "jd_or_instant"),
                                            ("tt", "jd_or_instant"), ("system", "name:house")], 4, 4,
     ephemeris.HouseCusps),
    ("Instant", Instant, [("julian_day", "julian_day"), ("time_scale", "text:time_scale")], 1, 3, Instant),
    ("GeodeticObserver", GeodeticObserver, [("longitude_east_deg", "degrees"), ("latitude_deg", "degrees"),
                                            ("height_m", "metres")], 2, 2, GeodeticObserver),
    ("PositionOptions", PositionOptions, OPTION_PARAMETERS, 2, 3, PositionOptions),
] + [(f"Instant.{scale}", getattr(Instant, scale), [("julian_day", "julian_day")], 1, 1, Instant)
     for scale in ("tdb", "tt", "utc", "ut1")] + [
    (cls.__name__, cls, [("name", f"text:{group}")], 1, 1, cls) for cls, group in NAME_CLASSES.items()
] + [
    (f"{cls.__name__}.{method}", getattr(cls, method), [], 0, 0.2, cls)
    for cls in NAME_CLASSES for method in vars(cls) if isinstance(vars(cls)[method], classmethod)
    or type(vars(cls)[method]).__name__ == "classmethod_descriptor"
] + [
    (f"{cls.__name__}()", cls, [("value", "opt_julian_day")], 0, 0.3, None)
    for cls in (ephemeris.HouseCusps, ephemeris.RiseSetTransit, ephemeris.HorizonEvent, ephemeris.Position,
                ephemeris.DateRange, ephemeris.KernelMetadata, ephemeris.HorizontalPosition,
                ephemeris.EarthOrientationMetadata)
]

METHODS = [
    ("position", [("body", "body"), ("instant", "instant"), ("options", "options")], 6, ephemeris.Position),
    ("positions", [("bodies", "bodies"), ("instants", "instants"), ("options", "options")], 6, np.ndarray),
    ("sidereal_position", [("body", "body"), ("instant", "instant"), ("options", "options"),
                           ("mode", "name:sidereal")], 3, ephemeris.Position),
    ("next_lunation", [("after", "instant"), ("kind", "name:lunation")], 2, Instant),
    ("next_season_event", [("after", "instant"), ("kind", "name:season")], 2, Instant),
    ("rise_set_transit", [("body", "body"), ("observer", "observer"), ("around", "instant"),
                          ("altitude_deg", "degrees")], 3, ephemeris.RiseSetTransit),
    ("next_horizon_event", [("body", "body"), ("observer", "observer"), ("after", "instant"),
                            ("kind", "name:horizon"), ("altitude_deg", "degrees")], 3, ephemeris.HorizonEvent),
    ("positions_jd", [("bodies", "bodies"), ("julian_days", "julian_days"), ("time_scale", "text:time_scale"),
                      ("options", "options")], 4, np.ndarray),
    ("altaz", [("body", "body"), ("observer", "observer"), ("instant", "instant"), ("temperature_c", "opt_celsius"),
               ("pressure_mbar", "opt_millibars")], 3, ephemeris.HorizontalPosition),
    ("altaz_jd", [("body", "body"), ("observer", "observer"), ("julian_days", "julian_days"),
                  ("time_scale", "text:time_scale"), ("temperature_c", "opt_celsius"),
                  ("pressure_mbar", "opt_millibars")], 3, np.ndarray),
    ("earth_orientation_at", [("instant", "instant")], 1, tuple),
    ("with_leap_second_kernel", [("path", "lsk_path"), ("sha256", "sha")], 1, type(None)),
    ("with_eop", [("path", "eop_path"), ("sha256", "sha")], 1, type(None)),
    ("with_time_kernels", [("leap_second_kernel", "lsk_path"), ("leap_second_sha256", "sha"),
                           ("eop", "eop_path"), ("eop_sha256", "sha")], 1, type(None)),
    ("with_additional_kernel_file", [("path", "extra_spk_path"), ("sha256", "sha")], 2, type(None)),
]
MUTATING = {"with_leap_second_kernel", "with_eop", "with_time_kernels", "with_additional_kernel_file"}
PROPERTIES = {
    Engine: ["kernel_metadata", "supported_range", "earth_orientation"],
    Instant: ["julian_day", "time_scale"],
    GeodeticObserver: ["longitude_east_deg", "latitude_deg", "height_m"],
    PositionOptions: ["origin", "observer", "coordinate_system", "reference_epoch", "apparent", "true_ecliptic"],
    ephemeris.Position: ["longitude_deg", "latitude_deg", "distance_au", "longitude_speed_deg_per_day"],
    ephemeris.HouseCusps: ["system", "cusp_ecliptic_longitude_deg", "ascendant_deg", "midheaven_deg", "ramc_deg",
                           "local_sidereal_time_deg", "true_obliquity_deg"],
    ephemeris.RiseSetTransit: ["transit_ut1_julian_day", "rise_ut1_julian_day", "set_ut1_julian_day"],
    ephemeris.HorizonEvent: ["kind", "ut1_julian_day"],
    ephemeris.HorizontalPosition: ["altitude_deg", "azimuth_deg", "distance_au"],
    ephemeris.DateRange: ["start_julian_day", "end_julian_day", "time_scale"],
    ephemeris.KernelMetadata: ["engine_version", "kernel_name", "kernel_sha256", "coordinate_frame"],
}


def bind(parameters, required, rng):
    """Positional and keyword arguments for `parameters`, usually right in
    number and form, sometimes not."""
    values = [argument(kind, rng) for _, kind in parameters]
    count = len(values) if rng.random() < 0.7 else rng.randint(required, len(values))
    args, kwargs = values[:count], {}
    choice = rng.random()
    if choice < 0.15 and count:
        split = rng.randint(0, count)
        for (name, _), value in zip(parameters[split:count], values[split:count]):
            kwargs[name] = value
        args = values[:split]
    elif choice < 0.2:
        args = values[:rng.randint(0, max(0, required - 1))]  # too few
    elif choice < 0.25:
        args = values + [generic_hostile(rng) for _ in range(rng.randint(1, 3))]  # too many
    elif choice < 0.29 and parameters:
        name = rng.choice(parameters)[0]
        kwargs[name] = generic_hostile(rng)  # also given by position, or unknown when the list is short
        args = values
    elif choice < 0.32:
        kwargs[rng.choice(["bogus", "", "\ud800", "PATH", "self", "path\0", PlainStr("path")])] = 1
    return args, kwargs


class Call:
    """One generated call: what to run, how to describe it, what it may return."""

    def __init__(self, name, function, args, kwargs, result_type, engine=None, generic=False):
        self.name, self.function, self.args, self.kwargs = name, function, args, kwargs
        self.result_type, self.engine, self.generic = result_type, engine, generic

    def describe(self):
        parts = [describe(a) for a in self.args] + [f"{describe(k)}={describe(v)}" for k, v in self.kwargs.items()]
        where = f" on {describe(self.engine)}" if self.engine is not None else ""
        return f"{self.name}({', '.join(parts)}){where}"


def scratch_engine():
    if STATE.scratch is None:
        STATE.scratch = Engine(STATE.files["de421"], support.CHECKSUM)
    return STATE.scratch


def choose_engine(rng, mutating):
    choice = rng.random()
    if choice < 0.1:
        return STATE.foreign
    if choice < 0.2:
        return STATE.closed
    if mutating or choice < 0.35:
        return scratch_engine()
    return STATE.main


def generate(rng) -> Call:
    choice = rng.random()
    if choice < 0.3:
        name, function, parameters, required, _, result_type = rng.choices(
            FUNCTIONS, weights=[f[4] for f in FUNCTIONS])[0]
        args, kwargs = bind(parameters, required, rng)
        return Call(name, function, args, kwargs, result_type)
    if choice < 0.85:
        name, parameters, _, result_type = rng.choices(METHODS, weights=[m[2] for m in METHODS])[0]
        engine = choose_engine(rng, name in MUTATING)
        args, kwargs = bind(parameters, len(parameters), rng)
        if rng.random() < 0.03:  # the descriptor with a wrong self
            wrong = rng.choice([generic_hostile(rng), module_object(rng)])
            if name in MUTATING and wrong is STATE.main:
                wrong = scratch_engine()  # the main engine is never changed
            return Call(f"Engine.{name}", getattr(Engine, name), [wrong] + args, kwargs, result_type, engine=None)
        return Call(f"Engine.{name}", getattr(engine, name), args, kwargs, result_type, engine=engine)
    return generic_operation(rng)


def generic_operation(rng) -> Call:
    """Properties, reprs, snapshot methods and the object protocol on module objects."""
    subject = module_object(rng) if rng.random() < 0.7 else rng.choice([STATE.main, STATE.foreign, STATE.closed])
    cls = type(subject)
    engine = subject if cls is Engine else None
    choice = rng.random()
    if choice < 0.35 and cls in PROPERTIES:
        attribute = rng.choice(PROPERTIES[cls])
        return Call(f"{cls.__name__}.{attribute}", lambda: getattr(subject, attribute), [], {}, None, engine)
    if choice < 0.5:
        return Call(f"repr({cls.__name__})", lambda: repr(subject), [], {}, str, engine)
    if choice < 0.6 and cls is ephemeris.KernelMetadata:
        method = rng.choice(["additional_kernels", "as_dict"])
        args = [] if rng.random() < 0.8 else [generic_hostile(rng)]
        return Call(f"KernelMetadata.{method}", getattr(subject, method), args, {}, (list, dict))
    if choice < 0.7 and cls in PROPERTIES:
        attribute = rng.choice(PROPERTIES[cls])
        other = rng.choice([generic_hostile(rng), module_object(rng)])
        descriptor = getattr(cls, attribute)
        return Call(f"{cls.__name__}.{attribute}.__get__", descriptor.__get__, [other], {}, None, generic=True)
    if choice < 0.75:
        attribute = rng.choice(PROPERTIES.get(cls, ["x"]) + ["__dict__", "bogus", "\ud800"])
        value = generic_hostile(rng)
        return Call(f"setattr({cls.__name__})", setattr, [subject, attribute, value], {}, None, engine, generic=True)
    if choice < 0.8:
        target = rng.choice(list(PROPERTIES) + [ephemeris.HouseSystem, ephemeris.SiderealMode])
        args = [generic_hostile(rng) for _ in range(rng.randint(0, 3))]
        return Call(f"{target.__name__}.__new__(...)", lambda: target.__new__(cls if rng.random() < 0.5 else object,
                                                                               *args), [], {}, None, generic=True)
    protocol = rng.choice([
        ("pickle.dumps", lambda: pickle.dumps(subject)), ("copy.copy", lambda: copy.copy(subject)),
        ("copy.deepcopy", lambda: copy.deepcopy(subject)), ("hash", lambda: hash(subject)),
        ("==", lambda: subject == module_object(rng)), ("dir", lambda: dir(subject)),
        ("weakref", lambda: weakref.ref(subject)), ("vars", lambda: vars(subject)),
        ("sizeof", lambda: sys.getsizeof(subject)), ("subclass", lambda: type("Sub", (cls,), {})),
        ("bool", lambda: bool(subject)), ("str", lambda: str(subject)), ("format", lambda: format(subject, "x")),
        ("iter", lambda: iter(subject)), ("len", lambda: len(subject)), ("call", lambda: subject()),
    ])
    return Call(f"{protocol[0]}({cls.__name__})", protocol[1], [], {}, None, engine, generic=True)


# ---------------------------------------------------------------- outcomes

class Outcomes:
    def __init__(self):
        self.counts = collections.Counter()
        self.examples = {}  # outcome -> the first call that had it
        self.findings = []
        self.calls = 0

    def finding(self, index, call, text):
        self.findings.append(f"call #{index}: {call.describe()}: {text}")
        print(f"FINDING: call #{index}: {call.describe()}: {text}", flush=True)


def classify(error, call, thread_error_expected) -> str:
    """The outcome name of an allowed error, or None for a finding."""
    kind = type(error)
    if isinstance(error, Planted):
        return "Planted (propagated)"
    if kind.__name__ == THREAD_ERROR and not isinstance(error, Exception):
        return THREAD_ERROR if thread_error_expected else None
    if isinstance(error, (TypeError, ValueError, OverflowError)):
        return kind.__name__
    if kind is RuntimeError and str(error) in ("Already borrowed", "Already mutably borrowed"):
        return f"RuntimeError ({error})"
    if kind is RecursionError:
        return kind.__name__
    if kind is NotImplementedError and "sub-views" in str(error):
        return "NotImplementedError (iterating a 2-D memoryview)"
    if isinstance(error, MemoryError) and (has_absurd_length(call.args) or has_absurd_length(call.kwargs)):
        return "MemoryError (absurd __len__)"
    if call.generic and isinstance(error, (AttributeError, pickle.PicklingError)):
        return kind.__name__
    return None


def check_result(result, call):
    if call.result_type is None:
        return None
    if not isinstance(result, call.result_type):
        return f"returned {type(result).__name__}, expected {call.result_type}"
    if isinstance(result, np.ndarray):
        columns = 3 if call.name.endswith("altaz_jd") else 4
        if not (result.dtype == np.float64 and result.ndim == columns - 1 and result.shape[-1] == columns
                and result.flags.c_contiguous and result.flags.writeable):
            return f"returned an array {describe(result)}"
        bodies, instants = (call.args + [None, None])[:2]
        if type(bodies) in (list, tuple) and type(instants) in (list, tuple) and not call.kwargs \
                and result.shape[:2] != (len(instants), len(bodies)):
            return f"returned shape {result.shape} for {len(instants)} instants and {len(bodies)} bodies"
    return None


def mentions_foreign(call) -> bool:
    """Whether the call may use the foreign engine (as its engine or as an argument that becomes `self`)."""
    values = [call.engine, *call.args, *call.kwargs.values()]
    return any(value is STATE.foreign for value in values)


def run_call(index, call, outcomes, progress):
    progress.begin(f"#{index} {call.describe()}")
    STATE.target = call.engine if call.engine is not None else STATE.main
    STATE.thread_error_expected = mentions_foreign(call)
    try:
        result = call.function(*call.args, **call.kwargs)
    except BaseException as error:  # noqa: BLE001 - every outcome is classified
        outcome = classify(error, call, STATE.thread_error_expected)
        if outcome is None:
            outcome = f"FINDING {type(error).__name__}"
            outcomes.finding(index, call, f"raised {type(error).__module__}.{type(error).__qualname__}: {error!r}")
        outcomes.counts[outcome] += 1
        outcomes.examples.setdefault(outcome, f"#{index} {call.describe()[:300]} -> {str(error)[:200]!r}")
        return
    problem = check_result(result, call)
    if problem:
        outcomes.finding(index, call, problem)
        outcomes.counts["FINDING wrong result"] += 1
        return
    outcomes.counts["returned"] += 1
    if type(result).__module__ == "ephemeris" and (type(result) is not Engine or
                                                   sum(type(o) is Engine for o in STATE.pool) < 4):
        STATE.pool.append(result)


# ---------------------------------------------------------------- measures

def kernel_files(directory):
    prefix = str(directory.resolve()) + "/"
    real_de421 = os.path.realpath(STATE.files["de421"])
    progress = prefix + "progress"
    return lambda path: path == real_de421 or (path.startswith(prefix) and path != progress) or path.startswith(
        str(support.CORPUS))


def measure(directory):
    """The resource figures, with the changing objects dropped: the pool and
    the scratch engine (the main, foreign and closed engines stay)."""
    STATE.pool.clear()
    STATE.scratch = None
    STATE.target = None
    gc.collect()
    is_kernel = kernel_files(directory)
    return {
        "descriptors": len(support.open_descriptors()),
        "kernel descriptors": sum(1 for t in support.descriptor_targets() if is_kernel(t)),
        "kernel mappings": sum(1 for f in support.mapped_files() if is_kernel(f)),
        "RssAnon KiB": support.anonymous_resident_kib(),
    }


# ---------------------------------------------------------------- main

def setup(arguments, directory):
    warnings.simplefilter("ignore")  # NumPy's deprecation of array-to-scalar conversion, among others
    make_files(directory, arguments.fifo)
    refresh_mutants(directory, arguments.seed, 0)
    files = STATE.files
    STATE.main = Engine(files["de421"], support.CHECKSUM, files["lsk"], support.CHECKSUM, files["eop"],
                        support.CHECKSUM)
    made = []
    worker = threading.Thread(target=lambda: made.append(Engine(files["de421"], support.CHECKSUM)))
    worker.start()
    worker.join()
    STATE.foreign = made.pop()
    STATE.closed = Engine(files["de421"], support.CHECKSUM)
    try:
        STATE.closed.with_additional_kernel_file(files["broken_chain"], support.CHECKSUM)
    except ValueError:
        pass
    try:
        repr(STATE.closed)
        raise SystemExit("the closed engine did not close")
    except ValueError:
        pass
    sys.setrecursionlimit(400)  # a runaway recursion fails fast, as RecursionError


def child_main(arguments, directory, progress) -> int:
    setup(arguments, directory)
    outcomes = Outcomes()
    if arguments.replay is not None:
        refresh_mutants(directory, arguments.seed, arguments.replay)
        call = generate(random.Random(f"{arguments.seed}/{arguments.replay}"))
        print(f"call #{arguments.replay}: {call.describe()}")
        run_call(arguments.replay, call, outcomes, progress)
        print(dict(outcomes.counts), flush=True)
        os._exit(1 if outcomes.findings else 0)

    started = time.monotonic()
    deadline = started + arguments.seconds
    warm_up = started + min(2.0, arguments.seconds / 5)
    baseline = None
    samples, next_sample = [], warm_up
    index = 0
    while time.monotonic() < deadline and len(outcomes.findings) < MAX_FINDINGS:
        if time.monotonic() >= next_sample:
            figures = measure(directory)
            baseline = baseline or figures
            samples.append(f"{index}:{figures['RssAnon KiB']}")
            next_sample += (deadline - warm_up) / 10
        refresh_mutants(directory, arguments.seed, index)
        if index % 200 == 0:
            STATE.scratch = None  # the scratch engine's additional kernels would pile up
        try:
            call = generate(random.Random(f"{arguments.seed}/{index}"))
        except Exception as error:  # noqa: BLE001 - a hostile object broke the driver itself
            outcomes.counts["not generated (driver)"] += 1
            if outcomes.counts["not generated (driver)"] <= 3:
                print(f"note: call #{index} could not be generated: {error!r}", flush=True)
        else:
            run_call(index, call, outcomes, progress)
            del call  # its bound method would keep an engine alive through the measures
        index += 1
    elapsed = time.monotonic() - started
    final = measure(directory)
    if baseline is None:
        baseline = final

    print(f"calls: {index} in {elapsed:.1f} s ({index / max(elapsed, 1e-9):.0f}/s), seed {arguments.seed}")
    for outcome, count in sorted(outcomes.counts.items(), key=lambda item: -item[1]):
        print(f"  {count:9d}  {outcome}")
        if arguments.examples and outcome in outcomes.examples:
            print(f"             e.g. {outcomes.examples[outcome]}")
    print(f"RssAnon KiB by call: {' '.join(samples)} {index}:{final['RssAnon KiB']}")
    print("resources after warm-up -> at the end: " +
          ", ".join(f"{key} {baseline[key]} -> {final[key]}" for key in baseline))
    for key in ("descriptors", "kernel descriptors", "kernel mappings"):
        if final[key] != (0 if key == "kernel mappings" else baseline[key]):
            outcomes.finding(index, Call("end of run", None, [], {}, None),
                             f"{key} went from {baseline[key]} to {final[key]}")
    try:
        repr(STATE.main)  # only reading calls and a same-file leap-second reload ever reach it
    except ValueError as error:
        outcomes.finding(index, Call("end of run", None, [], {}, None), f"the main engine was closed: {error}")
    growth = final["RssAnon KiB"] - baseline["RssAnon KiB"]
    if growth > arguments.memory_slack_mib * 1024:
        outcomes.finding(index, Call("end of run", None, [], {}, None),
                         f"anonymous resident memory grew by {growth} KiB")
    print(f"findings: {len(outcomes.findings)}")
    sys.stdout.flush()
    # The foreign engine can only be leaked (reported when dropped here): end without dropping anything.
    os._exit(1 if outcomes.findings else 0)


def add_arguments(parser):
    parser.add_argument("--fifo", action="store_true", help="also pass a FIFO as a kernel path (hangs today)")
    parser.add_argument("--examples", action="store_true", help="print the first call of each outcome")
    parser.add_argument("--replay", type=int, metavar="N", help="run call N of the seed alone")
    parser.add_argument("--memory-slack-mib", type=float, default=32.0,
                        help="allowed growth of the anonymous resident memory (default 32 MiB)")


if __name__ == "__main__":
    sys.exit(support.run(support.parse_arguments(__doc__.splitlines()[0], add_arguments), child_main))
