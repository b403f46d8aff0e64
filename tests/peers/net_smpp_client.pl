#!/usr/bin/perl
# An SMPP client built on Perl's Net::SMPP (Debian libnet-smpp-perl), for the Gateway
# service's SMPP server tests: binds as a transmitter, submits one message, unbinds.
#
#   perl net_smpp_client.pl PORT USER PASSWORD TO TEXT
#
# Prints "BIND_RESP <status>", "SUBMIT_RESP <status> <message_id>", "UNBIND_RESP <status>".
use strict;
use warnings;
use Net::SMPP;

my ($port, $user, $password, $to, $text) = @ARGV;
$| = 1;
my ($smpp, $bound) = Net::SMPP->new_transmitter('127.0.0.1', port => $port, system_id => $user,
                                                password => $password, timeout => 10);
unless ($smpp && $bound) { print "BIND_RESP failed\n"; exit 0; }
printf "BIND_RESP %d\n", $bound->{status};
exit 0 if $bound->{status} != 0;
my $resp = $smpp->submit_sm(destination_addr => $to, short_message => $text);
printf "SUBMIT_RESP %d %s\n", $resp->{status}, ($resp->{message_id} // '-');
$resp = $smpp->unbind();
printf "UNBIND_RESP %d\n", $resp->{status};
