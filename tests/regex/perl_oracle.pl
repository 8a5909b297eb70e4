#!/usr/bin/perl
# Answers substitution and split requests with Perl's own s/// and split.
# Input lines: "s", flags (any of g i), pattern, template, subject; or
# "split", limit, pattern, subject; fields separated by tabs.
# Output, one line per request: "count<TAB>result" for s; for split the
# number of fields, then each field, separated by \x1f (undef as "<undef>").
use strict;
no warnings;  # templates such as \u$1\E draw compile-time notes

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
    } elsif ($f[0] eq 'split') {
        my ($limit, $pat, $subject) = @f[1 .. 3];
        my @p = split /$pat/, $subject, $limit;
        print join("\x1f", scalar(@p), map { defined $_ ? $_ : '<undef>' } @p), "\n";
    } else {
        print "?\n";
    }
}
