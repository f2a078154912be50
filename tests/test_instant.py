"""Instant: a finite Julian day with an explicit time scale."""

import math

import pytest

from ephemeris import Instant


@pytest.mark.parametrize(("scale_text", "canonical"), [
    ("tdb", "tdb"), ("TT ", "tt"), ("\u00a0Utc\t", "utc"), ("UT1", "ut1"),
])
def test_constructor_parses_the_scale(scale_text, canonical):
    instant = Instant(2451545, scale_text)
    assert instant.julian_day == 2451545.0
    assert type(instant.julian_day) is float
    assert instant.time_scale == canonical


def test_scale_defaults_to_tdb():
    assert Instant(2451545.5).time_scale == "tdb"


@pytest.mark.parametrize(("factory", "scale"), [
    (Instant.tdb, "tdb"), (Instant.tt, "tt"), (Instant.utc, "utc"), (Instant.ut1, "ut1"),
])
def test_class_methods_fix_the_scale(factory, scale):
    instant = factory(julian_day=2451545.25)
    assert type(instant) is Instant
    assert (instant.julian_day, instant.time_scale) == (2451545.25, scale)


@pytest.mark.parametrize("day", [math.nan, math.inf, -math.inf])
def test_non_finite_days_are_refused_before_the_scale(day):
    with pytest.raises(ValueError) as raised:
        Instant(day, "bogus")
    assert str(raised.value) == "Julian day must be finite"
    assert raised.value.args == ("Julian day must be finite",)
    for factory in (Instant.tdb, Instant.tt, Instant.utc, Instant.ut1):
        with pytest.raises(ValueError, match="^Julian day must be finite$"):
            factory(day)


@pytest.mark.parametrize(("scale", "message"), [
    ("bogus", 'unknown time scale "bogus"'),
    (" TAI ", 'unknown time scale "tai"'),
    ("", 'unknown time scale ""'),
    ("t\u0301t", 'unknown time scale "t\\u{301}t"'),
])
def test_unknown_scales(scale, message):
    with pytest.raises(ValueError) as raised:
        Instant(1, scale)
    assert str(raised.value) == message


@pytest.mark.parametrize(("instant", "text"), [
    (Instant.tdb(2451545), 'Instant(2451545.0, time_scale="tdb")'),
    (Instant.tt(1e-5), 'Instant(1e-5, time_scale="tt")'),
    (Instant.utc(2451545.123456789), 'Instant(2451545.123456789, time_scale="utc")'),
    (Instant.ut1(-0.0), 'Instant(-0.0, time_scale="ut1")'),
    (Instant(1e16), 'Instant(1e16, time_scale="tdb")'),
    (Instant(0.0001), 'Instant(0.0001, time_scale="tdb")'),
])
def test_repr_uses_a_literal_number(instant, text):
    assert repr(instant) == text


def test_attributes_are_read_only_and_fresh():
    instant = Instant(2451545.0)
    with pytest.raises(AttributeError):
        instant.julian_day = 1.0
    with pytest.raises(AttributeError):
        instant.time_scale = "tt"
    with pytest.raises(AttributeError):
        instant.extra = 1


def test_equality_and_hashing_are_by_identity():
    first, second = Instant(2451545.0), Instant(2451545.0)
    assert first != second
    assert first == first
    assert len({first, second}) == 2
