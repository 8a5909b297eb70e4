#!/usr/bin/perl
# Answers substitution, split and match requests with Perl's own s///,
# split and m//. Input lines: "s", flags (any of g i), pattern, template,
# subject; or "split", limit, pattern, subject; or "m" (first match) or "g"
# (every match), inline flags (imsx), pattern, subject in hex code points;
# fields separated by tabs. For m the answer is 0, or 1 and each group as
# "begin,end" or "x"; for g the count and each match; E when Perl refuses
# the pattern.
# Output, one line per request: "count<TAB>result" for s; for split the
# number of fields, then each field, separated by \x1f (undef as "<undef>").
use strict;
no warnings;  # templates such as \u$1\E draw compile-time notes

sub unhex { my ($t) = @_; return join('', map { chr(hex($_)) } grep { $_ ne '' } split(/\./, $t)); }

while (my $line = <STDIN>) {
    chomp $line;
    my @f = split /\t/, $line, -1;
    if ($f[0] eq 's') {
        my ($flags, $pat, $tmpl, $subject) = @f[1 .. 4];
        my $re = $flags =~ /i/ ? qr/$pat/i : qr/$pat/;
        my $s = $subject;
        my $n = $flags =~ /g/ ? ($s =~ s/$re/eval "qq\x01$tmpl\x01"/ge)
                              : ($s =~ s/$re/eval "qq\x01$tmpl\x01"/e);
        print 0 + $n, "\t", $s, "\n";
    } elsif ($f[0] eq 'm' || $f[0] eq 'g') {
        # Pattern and subject as code points in hex, joined by dots, so any
        # character passes; \Q...\E is quoting of the text, done here as
        # Perl does it when it interpolates.
        my ($flags, $pat, $subject) = ($f[1], unhex($f[2]), unhex($f[3]));
        $pat =~ s/\\Q(.*?)(?:\\E|\z)/quotemeta($1)/gse;
        # Perl 5.36's start-class analysis takes what a leading look-ahead
        # or look-ahead condition begins with for what every match begins
        # with ("x" =~ /(?=a?)./ and "a" =~ /(?(?=b)x)a/ fail); a second
        # alternative that always fails turns it off and changes no match.
        my $re = eval { $flags ne '' ? qr/(?$flags)(?:$pat)|(?!)/ : qr/(?:$pat)|(?!)/ };
        if (!defined $re) { print "E\n"; next; }
        if ($f[0] eq 'm') {
            if ($subject =~ $re) {
                print "1", map({ defined $-[$_] ? " $-[$_],$+[$_]" : " x" } 0 .. $#+), "\n";
            } else {
                print "0\n";
            }
        } else {
            my @all;
            while ($subject =~ /$re/g) { push @all, "$-[0],$+[0]"; }
            print join(' ', scalar(@all), @all), "\n";
        }
    } elsif ($f[0] eq 'split') {
        my ($limit, $pat, $subject) = @f[1 .. 3];
        my @p = split /$pat/, $subject, $limit;
        print join("\x1f", scalar(@p), map { defined $_ ? $_ : '<undef>' } @p), "\n";
    } else {
        print "?\n";
    }
}
