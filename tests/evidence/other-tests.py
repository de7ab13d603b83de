#!/usr/bin/env python3
"""A benchmark's analysis, not a test: how other paired tests would have
judged the same --build exports (two builds, A the reference, B compared).
For each export directory: the sign test on mirrored blocks (bench_compare's),
the sign test on single rounds, Hodges-Lehmann on blocks and on rounds, and a
sign test counting only the blocks whose two rounds agree in sign; per
method, how often DNA random was called at Holm's adjusted 0.05 over the nine
series, how many series were called, and each series' median half-width (%).

Usage: tests/evidence/other-tests.py DIR...
"""
import glob
import json
import math
import statistics as st
import sys
from math import comb
def sign_ci(u):
    n=len(u); s=sorted(u)
    # largest k with 2*P(Bin<=k-1) <= .05
    k=0
    while 2*sum(comb(n,i) for i in range(k+1))/2**n <= 0.05: k+=1
    if k==0: return None
    return s[k-1], s[n-k]
def sign_p(u):
    n=len(u); pos=sum(x>0 for x in u); neg=sum(x<0 for x in u); m=min(pos,neg)
    return min(1,2*sum(comb(n,i) for i in range(m+1))/2**n)
def hl_ci(u):
    n=len(u); w=sorted((u[i]+u[j])/2 for i in range(n) for j in range(i,n))
    N=len(w); mu=N/2; sd=math.sqrt(n*(n+1)*(2*n+1)/24); c=int(math.floor(mu-1.96*sd))
    if c<1: return None
    return w[c-1], w[N-c]
def wilcoxon_p(u):
    n=len(u); r=sorted(range(n),key=lambda i:abs(u[i])); W=sum(k+1 for k,i in enumerate(r) if u[i]>0)
    mu=n*(n+1)/4; sd=math.sqrt(n*(n+1)*(2*n+1)/24); z=(W-mu)/sd
    return math.erfc(abs(z)/math.sqrt(2))
def value(run,t,ser):
    return {'random':run['random'][t],'fixed':run['fixed'][t],'difference':run['random'][t]-run['fixed'][t]}[ser]
def log_ratios(j,t,ser):
    """Each round's log(B / A) of one series of test t."""
    return [math.log(value(r['builds']['B'],t,ser)/value(r['builds']['A'],t,ser)) for r in j['rounds']]
def units(lr,block):
    return [(lr[i]+lr[i+1])/2 for i in range(0,len(lr)-1,2)] if block else lr
for d in sys.argv[1:]:
    res={}
    for f in sorted(glob.glob(d+'/*.json')):
        j=json.load(open(f))
        for t,name in enumerate(['Integer','Float','DNA']):
            for ser in ['random','fixed','difference']:
                lr=log_ratios(j,t,ser)
                for meth in ['sign-block','sign-round','hl-block','hl-round']:
                    u=units(lr, meth.endswith('block'))
                    ci=(sign_ci if meth.startswith('sign') else hl_ci)(u)
                    p=(sign_p if meth.startswith('sign') else wilcoxon_p)(u)
                    res.setdefault((name,ser,meth),[]).append(((ci[1]-ci[0])/2*100 if ci else None, p))
    print(d)
    for meth in ['sign-block','sign-round','hl-block','hl-round']:
        line=[]
        calls=0; tot=0
        for name in ['Integer','Float','DNA']:
            for ser in ['random','fixed','difference']:
                v=res[(name,ser,meth)]
                hw=st.median([x[0] for x in v if x[0] is not None])
                line.append('%s/%s %.2f'%(name[0],ser[0],hw))
        # holm per comparison: count DNA random calls and all calls
        ncomp=len(res[('DNA','random',meth)])
        dna=0; anycall=0
        for c in range(ncomp):
            ps=[(res[(n,s,meth)][c][1],(n,s)) for n in ['Integer','Float','DNA'] for s in ['random','fixed','difference']]
            ps.sort(); m=len(ps); called=set()
            for i,(p,k) in enumerate(ps):
                if p*(m-i) < 0.05: called.add(k)
                else: break
            dna += ('DNA','random') in called
            anycall += len(called)
        print('  %-10s DNA random called %d of %d; series called %d;'%(meth,dna,ncomp,anycall), ' '.join(line))

def conc_p(lr):
    pos=neg=0
    for i in range(0,len(lr)-1,2):
        a,b=lr[i],lr[i+1]
        if a>0 and b>0: pos+=1
        elif a<0 and b<0: neg+=1
    n=pos+neg; m=min(pos,neg)
    return 1 if n==0 else min(1,2*sum(comb(n,i) for i in range(m+1))/2**n)
for d in sys.argv[1:]:
    calls=0; dna=0; N=0
    for f in sorted(glob.glob(d+'/*.json')):
        j=json.load(open(f)); N+=1
        ps=[]
        for t,name in enumerate(['Integer','Float','DNA']):
            for ser in ['random','fixed','difference']:
                lr=log_ratios(j,t,ser)
                ps.append((conc_p(lr),(name,ser)))
        ps.sort(); m=len(ps); called=set()
        for i,(p,k) in enumerate(ps):
            if p*(m-i)<0.05: called.add(k)
            else: break
        calls+=len(called); dna+=('DNA','random') in called
    print(d,'concordance sign test: DNA random called',dna,'of',N,'; series called',calls)
